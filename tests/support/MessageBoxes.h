// Message boxes answered by the test in place of a person, and what they said.
#pragma once

#include <string>
#include <vector>

#include "platform/Win32.h"

struct ShownBoxes {
    std::vector<std::string> texts;
    std::vector<std::string> lines;      // "caption|text", the whole of what a box said
    std::vector<std::string> captions;
    std::vector<UINT> types;
    int answer = IDNO;                   // the reply to a yes/no question; other boxes get IDOK

    void Clear();
};

// From now on every message box of this process is recorded and answered instead of shown;
// the record starts empty and questions are answered No. The cleanup after each test
// shows boxes again.
ShownBoxes& RecordMessageBoxes();
ShownBoxes& Boxes();   // what was recorded since
