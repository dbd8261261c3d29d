#include "framework/DialogTemplate.h"

#include "framework/ResourceFile.h"
#include "framework/TextCodec.h"

namespace {

std::string IdText(const ResId& id)
{
    return id.isOrdinal ? std::string() : Utf16ToUtf8(id.name);
}

ControlClass ClassOf(const ResId& cls, std::string& name)
{
    if (cls.isOrdinal) {
        switch (cls.ordinal) {
        case 0x80: return ControlClass::Button;
        case 0x81: return ControlClass::Edit;
        case 0x82: return ControlClass::Static;
        case 0x83: return ControlClass::ListBox;
        case 0x84: return ControlClass::ScrollBar;
        case 0x85: return ControlClass::ComboBox;
        default: return ControlClass::Other;
        }
    }
    name = Utf16ToUtf8(cls.name);
    std::string upper;
    for (char c : name)
        upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (upper == "BUTTON") return ControlClass::Button;
    if (upper == "EDIT") return ControlClass::Edit;
    if (upper == "STATIC") return ControlClass::Static;
    if (upper == "LISTBOX") return ControlClass::ListBox;
    if (upper == "SCROLLBAR") return ControlClass::ScrollBar;
    if (upper == "COMBOBOX") return ControlClass::ComboBox;
    return ControlClass::Other;
}

bool ReadCommonTail(ByteReader& r, DialogItem& item)
{
    ResId cls, title;
    if (!r.StringOrOrdinal(cls) || !r.StringOrOrdinal(title))
        return false;
    item.controlClass = ClassOf(cls, item.className);
    if (title.isOrdinal && title.ordinal != 0)
        item.textOrdinal = title.ordinal;
    else
        item.text = Utf16ToUtf8(title.name);
    uint16_t extraCount;
    if (!r.Word(extraCount) || r.Remaining() < extraCount)
        return false;
    item.extra.assign(r.Here(), r.Here() + extraCount);
    r.Skip(extraCount);
    return true;
}

bool ReadRect(ByteReader& r, int16_t& x, int16_t& y, int16_t& cx, int16_t& cy)
{
    uint16_t v[4];
    for (uint16_t& w : v)
        if (!r.Word(w))
            return false;
    x = static_cast<int16_t>(v[0]);
    y = static_cast<int16_t>(v[1]);
    cx = static_cast<int16_t>(v[2]);
    cy = static_cast<int16_t>(v[3]);
    return true;
}

}  // namespace

std::optional<DialogTemplateData> ParseDialogTemplate(const uint8_t* data, size_t size)
{
    ByteReader r(data, size);
    DialogTemplateData d;
    uint16_t version = 0, signature = 0;
    if (!r.Word(version) || !r.Word(signature))
        return std::nullopt;
    d.extended = version == 1 && signature == 0xFFFF;
    uint16_t count = 0;
    if (d.extended) {
        if (!r.Dword(d.helpId) || !r.Dword(d.exStyle) || !r.Dword(d.style))
            return std::nullopt;
    } else {
        d.style = static_cast<uint32_t>(version) | (static_cast<uint32_t>(signature) << 16);
        if (!r.Dword(d.exStyle))
            return std::nullopt;
    }
    ResId menu, cls;
    std::u16string title;
    if (!r.Word(count) || !ReadRect(r, d.x, d.y, d.cx, d.cy) || !r.StringOrOrdinal(menu) ||
        !r.StringOrOrdinal(cls) || !r.String(title))
        return std::nullopt;
    d.menu = IdText(menu);
    d.windowClass = IdText(cls);
    d.title = Utf16ToUtf8(title);
    if (d.style & DS_SETFONT_STYLE) {
        std::u16string face;
        if (!r.Word(d.pointSize))
            return std::nullopt;
        if (d.extended && (!r.Word(d.weight) || !r.Byte(d.italic) || !r.Byte(d.charset)))
            return std::nullopt;
        if (!r.String(face))
            return std::nullopt;
        d.typeface = Utf16ToUtf8(face);
    }
    for (uint16_t i = 0; i < count; ++i) {
        DialogItem item;
        r.AlignDword();
        if (d.extended) {
            uint32_t id = 0;
            if (!r.Dword(item.helpId) || !r.Dword(item.exStyle) || !r.Dword(item.style) ||
                !ReadRect(r, item.x, item.y, item.cx, item.cy) || !r.Dword(id))
                return std::nullopt;
            item.id = static_cast<int32_t>(id);
        } else {
            uint16_t id = 0;
            if (!r.Dword(item.style) || !r.Dword(item.exStyle) || !ReadRect(r, item.x, item.y, item.cx, item.cy) ||
                !r.Word(id))
                return std::nullopt;
            item.id = static_cast<int16_t>(id);   // 0xFFFF is IDC_STATIC
        }
        if (!ReadCommonTail(r, item))
            return std::nullopt;
        d.items.push_back(std::move(item));
    }
    return d;
}
