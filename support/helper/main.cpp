// bootwright-helper: the privileged half of the program on this computer, started by the
// window through pkexec (as "pkexec /usr/lib/bootwright/bootwright-helper [--trace]") with
// its socket as standard input, and ended when the window closes that socket. pkexec gives
// it a clean environment, so the trace is asked for on the command line; its lines go to
// the standard error it shares with the window.
#include "platform/helper/HelperServer.h"
#include "platform/win32/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            ::setenv("BOOTWRIGHT_TRACE", "1", 1);
        } else {
            std::fprintf(stderr, "usage: %s [--trace]  (started by Bootwright through pkexec)\n", argv[0]);
            return 2;
        }
    }
    struct stat st {};
    int type = 0;
    socklen_t length = sizeof type;
    if (::fstat(0, &st) != 0 || !S_ISSOCK(st.st_mode) || ::getsockopt(0, SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
        type != SOCK_STREAM) {
        std::fprintf(stderr, "bootwright-helper: standard input is not the window's socket\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    platform::SetTraceName("bootwright-helper");
    platform::Trace("serving the window (process %d)", static_cast<int>(::getppid()));
    int ended = platform::ServeWindow(0);
    platform::Trace(ended == 0 ? "the window closed its socket; ending" : "ending: the window's messages cannot be read");
    return ended;
}
