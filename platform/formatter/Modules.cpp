// Built-in modules in place of DLLs: a table of names and their entry points, loaded and
// freed with reference counts as Windows does. "kernel32.dll" is always loaded.
#include "platform/formatter/FormatEx.h"
#include "platform/TestHooks.h"
#include "platform/Win32.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace platform {
namespace {

struct Entry {
    const char* name;
    FARPROC address;
};

struct Module {
    const char* name;
    std::vector<Entry> entries;
    bool permanent = false;
    int references = 0;
    bool missing = false;
};

std::mutex modulesMutex;

std::vector<Module>& Modules()
{
    static std::vector<Module> modules = {
        {"fmifs.dll", {{"FormatEx", reinterpret_cast<FARPROC>(&platform::FormatEx)}}},
        {"kernel32.dll", {}, true},
    };
    return modules;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// "C:\Windows\System32\FMIFS" -> "fmifs.dll"
std::string ModuleKey(const char* name)
{
    std::string key = Lower(name);
    size_t slash = key.find_last_of("\\/");
    if (slash != std::string::npos)
        key = key.substr(slash + 1);
    if (key.find('.') == std::string::npos)
        key += ".dll";
    return key;
}

Module* Find(const char* name)
{
    if (!name)
        return nullptr;
    std::string key = ModuleKey(name);
    for (Module& module : Modules())
        if (key == module.name && !module.missing)
            return &module;
    return nullptr;
}

bool Loaded(const Module& module) { return module.permanent || module.references > 0; }

Module* FromHandle(HMODULE handle)
{
    for (Module& module : Modules())
        if (reinterpret_cast<HMODULE>(&module) == handle && Loaded(module))
            return &module;
    return nullptr;
}

}  // namespace

void SetModuleMissingForTest(const std::string& name, bool missing)
{
    std::lock_guard lock(modulesMutex);
    std::string key = ModuleKey(name.c_str());
    for (Module& module : Modules())
        if (key == module.name) {
            module.missing = missing;
            if (missing)
                module.references = 0;
        }
}

}  // namespace platform

using namespace platform;

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    std::lock_guard lock(modulesMutex);
    Module* module = Find(lpLibFileName);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->references;
    return reinterpret_cast<HMODULE>(module);
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    std::lock_guard lock(modulesMutex);
    Module* module = Find(lpModuleName ? lpModuleName : "kernel32.dll");
    if (!module || !Loaded(*module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(module);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    std::lock_guard lock(modulesMutex);
    Module* module = FromHandle(hModule);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Names only: a value below 0x10000 would be an ordinal, which no built-in has.
    if (reinterpret_cast<uintptr_t>(lpProcName) >= 0x10000)
        for (const Entry& entry : module->entries)
            if (std::strcmp(entry.name, lpProcName) == 0)
                return entry.address;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE hLibModule)
{
    std::lock_guard lock(modulesMutex);
    Module* module = FromHandle(hLibModule);
    if (!module) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!module->permanent)
        --module->references;
    return TRUE;
}
