// The window as a user who is not root meets it: disks are reached through the helper, which
// the window starts through a pkexec that the test puts first on PATH. Undone when the
// object goes: the helper ends, PATH is what it was.
#pragma once

#include <string>

class FakePkexec {
public:
    // `body`: the shell script that stands for pkexec; "exec \"$@\"" starts the helper at
    // once, "exit 126" is a refused password. Empty: no pkexec on PATH at all (PATH then
    // holds only the folder of the test's own tools).
    FakePkexec(const std::string& folder, const std::string& body);
    ~FakePkexec();
    FakePkexec(const FakePkexec&) = delete;
    FakePkexec& operator=(const FakePkexec&) = delete;

private:
    std::string m_path;
};
