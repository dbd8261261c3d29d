// The user's language from the locale variables, in the order the C library reads them.
#include "platform/Win32.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

WORD GetUserDefaultUILanguage()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0 ? 1041 : 1033;
    }
    return 1033;
}
