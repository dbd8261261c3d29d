// MessageBoxA: answered by the user interface that registered itself (the framework does at
// start). Without one, e.g. in a test or a command-line helper, the text goes to standard
// error and the box counts as acknowledged.
#include "platform/OwnCalls.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<MessageBoxHandler> g_handler{nullptr};

}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    g_handler.store(handler);
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    if (MessageBoxHandler handler = g_handler.load())
        return handler(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
    std::fprintf(stderr, "%s: %s\n", lpCaption ? lpCaption : "Error", lpText ? lpText : "");
    return IDOK;
}
