// What runs after every test of every test program, passed or failed: the program is left
// as the test found it. A test that set something up need not undo it.
#pragma once

#include <gtest/gtest.h>

// Registered by the test main. After each test it:
// - unmounts and detaches what was mounted or attached over files of this program's
//   temporary folders;
// - puts back every environment variable as it was (unset when it was unset) and the
//   working folder;
// - makes an empty machine the current one (never this computer's real disks), and resets
//   the platform's test hooks, the message box handler and the steps added below.
class CleanSlate : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override;
    void OnTestEnd(const ::testing::TestInfo&) override;
    // Temporary folders of this program that a test never let go are removed at its end.
    void OnTestProgramEnd(const ::testing::UnitTest&) override;

    // A reset of a layer above platform/ (the framework's hooks), run after each test.
    static void AddStep(void (*step)());
};

// An empty machine: no disks, no floppies.
void UseEmptyMachine();
