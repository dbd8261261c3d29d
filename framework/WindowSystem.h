// The window system the wizard opens on, chosen before Qt starts: a native Wayland client
// on a Wayland desktop, an X11 client elsewhere. A start that finds no display, or whose
// display refuses the window, ends with one line on standard error and status 1, instead of
// Qt's abort.
#pragma once

#include <string>

struct WindowSystemChoice {
    bool any = false;       // false: no display is set at all; the wizard cannot start
    std::string platform;   // Qt's platform list to use; empty: QT_QPA_PLATFORM, as set
    std::string displays;   // the displays tried, for the message: "wayland-0 (Wayland), :0 (X11)"
};

// From the environment: QT_QPA_PLATFORM when set; else Wayland first where WAYLAND_DISPLAY
// (or WAYLAND_SOCKET) is set, falling back to X11 where DISPLAY is set too.
WindowSystemChoice ChooseWindowSystem();

// Holds what Qt says while it connects to the window system. If Qt gives up, the program
// prints one line (the program's name, the displays tried, Qt's first reason) and ends with
// status 1; once the connection stands, Release passes what was held on as Qt would have.
class CWindowSystemStart {
public:
    CWindowSystemStart(const std::string& programName, const std::string& displays);
    ~CWindowSystemStart();
    void Release();
};
