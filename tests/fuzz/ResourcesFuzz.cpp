// A resource file as the framework reads the program's own: its records, and in them dialog
// templates, string tables, bitmaps and icons. Every record lies inside the file, and every
// part of it is decoded without reading past it.
#include <QGuiApplication>

#include <cstdlib>

#include "framework/DialogTemplate.h"
#include "framework/ResourceFile.h"
#include "framework/ResourceImages.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    new QGuiApplication(*argc, *argv);   // icons become pixmaps, which need one
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResourceFile file(data, size);
    for (const ResEntry& entry : file.Entries()) {
        if (entry.data < data || entry.size > size || entry.data + entry.size > data + size)
            std::abort();
        if (entry.type.Is(RT_DIALOG_ID)) {
            ParseDialogTemplate(entry.data, entry.size);
        } else if (entry.type.Is(RT_STRING_ID)) {
            std::u16string text;
            for (uint16_t id = 0; id < 16; ++id)
                StringFromTable(entry, id, text);
        } else if (entry.type.Is(RT_BITMAP_ID)) {
            ImageFromDib(entry.data, entry.size);
        } else if (entry.type.Is(RT_GROUP_ICON_ID)) {
            IconFromGroup(file, entry);
        }
    }
    return 0;
}
