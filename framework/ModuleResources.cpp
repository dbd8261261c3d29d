#include "framework/ModuleResources.h"
#include "framework/TestSeam.h"

#include <memory>

#include "framework/Afx.h"
#include "framework/TextCodec.h"
#include "res/EmbeddedResources.h"

namespace {

struct ModuleState {
    const uint8_t* data = nullptr;
    size_t size = 0;
    std::unique_ptr<ResourceFile> file;
    uint16_t forcedLanguage = 0;
};

ModuleState& State()
{
    static ModuleState state;
    return state;
}

}  // namespace

const ResourceFile& ModuleResources()
{
    ModuleState& s = State();
    if (!s.file) {
        if (s.data == nullptr) {
            s.data = bootwright_res_data;
            s.size = bootwright_res_size;
        }
        s.file = std::make_unique<ResourceFile>(s.data, s.size);
    }
    return *s.file;
}

void SetModuleResourcesForTest(const uint8_t* data, size_t size)
{
    ModuleState& s = State();
    s.data = data;
    s.size = data ? size : 0;
    s.file.reset();
}

void SetResourceLanguageForTest(uint16_t language) { State().forcedLanguage = language; }

uint16_t ResourceLanguage()
{
    if (State().forcedLanguage != 0)
        return State().forcedLanguage;
    return GetUserDefaultUILanguage() == LANG_JAPANESE_JP ? LANG_JAPANESE_JP : LANG_ENGLISH_US;
}

std::optional<DialogTemplateData> LoadDialogTemplate(uint16_t id)
{
    const ResEntry* e = ModuleResources().Find(RT_DIALOG_ID, id, ResourceLanguage());
    if (!e)
        return std::nullopt;
    return ParseDialogTemplate(e->data, e->size);
}

std::optional<std::string> LoadStringResource(uint16_t id)
{
    const uint16_t block = static_cast<uint16_t>(id / 16 + 1);
    std::u16string text;
    const ResourceFile& file = ModuleResources();
    // A string missing in the user's language falls back to English, string by string.
    for (uint16_t language : {ResourceLanguage(), LANG_ENGLISH_US}) {
        const ResEntry* e = file.FindExact(RT_STRING_ID, block, language);
        if (e && StringFromTable(*e, id, text))
            return Utf16ToUtf8(text);
    }
    return std::nullopt;
}

BOOL AfxLoadString(UINT nID, std::string& rString)
{
    auto text = nID <= 0xFFFF ? LoadStringResource(static_cast<uint16_t>(nID)) : std::nullopt;
    rString = text.value_or(std::string());
    return text.has_value();
}

std::string LoadResString(UINT nID)
{
    std::string text;
    AfxLoadString(nID, text);
    return text;
}

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax)
{
    std::string text;
    if (!AfxLoadString(uID, text)) {
        if (lpBuffer && cchBufferMax > 0)
            lpBuffer[0] = '\0';
        return 0;
    }
    return CopyTextBounded(text, lpBuffer, cchBufferMax);
}
