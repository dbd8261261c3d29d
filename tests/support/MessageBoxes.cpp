#include "tests/support/MessageBoxes.h"

#include "platform/OwnCalls.h"

namespace {

ShownBoxes g_boxes;

int RecordBox(HWND, const char* text, const char* caption, UINT type)
{
    std::string said = text ? text : "", title = caption ? caption : "";
    g_boxes.texts.push_back(said);
    g_boxes.lines.push_back(title + "|" + said);
    g_boxes.captions.push_back(title);
    g_boxes.types.push_back(type);
    return (type & 0xF) == MB_YESNO ? g_boxes.answer : IDOK;
}

}  // namespace

void ShownBoxes::Clear()
{
    texts.clear();
    lines.clear();
    captions.clear();
    types.clear();
}

ShownBoxes& RecordMessageBoxes()
{
    g_boxes.Clear();
    g_boxes.answer = IDNO;
    SetMessageBoxHandler(RecordBox);
    return g_boxes;
}

ShownBoxes& Boxes() { return g_boxes; }
