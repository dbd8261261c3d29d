#include "framework/WindowSystem.h"

#include <QtGlobal>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framework/Afx.h"
#include "res/resource.h"

namespace {

const char* Env(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};

// What the start holds; one start at a time, on the main thread, before any other thread.
struct Held {
    std::string program;
    std::string displays;
    std::vector<HeldMessage> messages;
    QtMessageHandler previous = nullptr;
    bool active = false;
};
Held g_held;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        g_held.messages.push_back({type, context.category ? context.category : "", text});
        return;
    }
    // Qt found no window system it could open: say so in one line, with the reason each
    // window system gave (the plugin loader's own words only when there is nothing else).
    QStringList reasons, loader;
    for (const HeldMessage& m : g_held.messages)
        if (m.type != QtDebugMsg && m.type != QtInfoMsg)
            (m.category == "qt.qpa.plugin" ? loader : reasons) << m.text.section('\n', 0, 0).trimmed();
    if (reasons.isEmpty())
        reasons = loader.isEmpty() ? QStringList{text.section('\n', 0, 0).trimmed()} : loader;
    reasons.removeDuplicates();
    const QString reason = reasons.join("; ");
    std::string line = FormatText(LoadResString(IDS_DISPLAY_FAILED).c_str(), g_held.displays.c_str(),
                                  reason.toLocal8Bit().constData());
    std::fprintf(stderr, "%s: %s\n", g_held.program.c_str(), line.c_str());
    std::fflush(stderr);
    std::_Exit(1);   // not exit(): Qt is half built; nothing of ours needs tearing down yet
}

}  // namespace

WindowSystemChoice ChooseWindowSystem()
{
    WindowSystemChoice choice;
    if (const char* platform = Env("QT_QPA_PLATFORM")) {
        choice.any = true;
        choice.displays = platform;
        return choice;
    }
    const char* wayland = Env("WAYLAND_DISPLAY");
    if (!wayland && Env("WAYLAND_SOCKET"))
        wayland = "WAYLAND_SOCKET";
    const char* x11 = Env("DISPLAY");
    if (wayland) {
        choice.platform = x11 ? "wayland;xcb" : "wayland";
        choice.displays = std::string(wayland) + " (Wayland)";
    }
    if (x11) {
        choice.platform = wayland ? choice.platform : "xcb";
        choice.displays += (wayland ? ", " : "") + std::string(x11) + " (X11)";
    }
    choice.any = wayland || x11;
    return choice;
}

CWindowSystemStart::CWindowSystemStart(const std::string& programName, const std::string& displays)
{
    g_held = Held{programName, displays, {}, nullptr, true};
    g_held.previous = qInstallMessageHandler(&HoldMessage);
}

CWindowSystemStart::~CWindowSystemStart() { Release(); }

void CWindowSystemStart::Release()
{
    if (!g_held.active)
        return;
    g_held.active = false;
    qInstallMessageHandler(g_held.previous);
    for (const HeldMessage& m : g_held.messages) {
        QMessageLogContext context(nullptr, 0, nullptr, m.category.empty() ? nullptr : m.category.c_str());
        qt_message_output(m.type, context, m.text);
    }
    g_held.messages.clear();
}
