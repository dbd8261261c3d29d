// Dialog templates as stored in RT_DIALOG resources (the extended DLGTEMPLATEEX form the
// resource compiler writes for DIALOGEX, and the older DLGTEMPLATE form), decoded into
// plain values with their texts in UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Window and control styles used by the templates.
constexpr uint32_t WS_TABSTOP_STYLE = 0x00010000;
constexpr uint32_t WS_GROUP_STYLE = 0x00020000;
constexpr uint32_t WS_VSCROLL_STYLE = 0x00200000;
constexpr uint32_t WS_BORDER_STYLE = 0x00800000;
constexpr uint32_t WS_DISABLED_STYLE = 0x08000000;
constexpr uint32_t WS_VISIBLE_STYLE = 0x10000000;
constexpr uint32_t DS_SETFONT_STYLE = 0x40;

constexpr uint32_t BS_TYPEMASK = 0x0F;
constexpr uint32_t BS_PUSHBUTTON_STYLE = 0;
constexpr uint32_t BS_DEFPUSHBUTTON_STYLE = 1;
constexpr uint32_t BS_CHECKBOX_STYLE = 2;
constexpr uint32_t BS_AUTOCHECKBOX_STYLE = 3;
constexpr uint32_t BS_RADIOBUTTON_STYLE = 4;
constexpr uint32_t BS_3STATE_STYLE = 5;
constexpr uint32_t BS_AUTO3STATE_STYLE = 6;
constexpr uint32_t BS_GROUPBOX_STYLE = 7;
constexpr uint32_t BS_AUTORADIOBUTTON_STYLE = 9;

constexpr uint32_t SS_TYPEMASK = 0x1F;
constexpr uint32_t SS_CENTER_STYLE = 1;
constexpr uint32_t SS_RIGHT_STYLE = 2;
constexpr uint32_t SS_LEFTNOWORDWRAP_STYLE = 0xC;
constexpr uint32_t SS_ETCHEDHORZ_STYLE = 0x10;
constexpr uint32_t SS_NOPREFIX_STYLE = 0x80;

constexpr uint32_t ES_PASSWORD_STYLE = 0x20;
constexpr uint32_t ES_AUTOHSCROLL_STYLE = 0x80;
constexpr uint32_t ES_READONLY_STYLE = 0x800;

constexpr uint32_t CBS_DROPDOWN_STYLE = 0x2;
constexpr uint32_t CBS_DROPDOWNLIST_STYLE = 0x3;
constexpr uint32_t CBS_SORT_STYLE = 0x100;

enum class ControlClass { Button, Edit, Static, ListBox, ScrollBar, ComboBox, Other };

struct DialogItem {
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;   // IDC_STATIC comes back as -1
    ControlClass controlClass = ControlClass::Other;
    std::string className;          // when the class was given by name
    std::string text;               // UTF-8
    std::optional<uint16_t> textOrdinal;   // an icon or bitmap number instead of a text
    std::vector<uint8_t> extra;
};

struct DialogTemplateData {
    bool extended = false;
    uint32_t helpId = 0;
    uint32_t exStyle = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, windowClass, title;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
};

// Decodes a template; nullopt when the bytes are not a complete template.
std::optional<DialogTemplateData> ParseDialogTemplate(const uint8_t* data, size_t size);
