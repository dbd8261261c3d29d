#include "platform/processes/RunTool.h"

#include "platform/TestHooks.h"
#include "platform/helper/HelperClient.h"
#include "platform/processes/ToolPath.h"
#include "platform/win32/Trace.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

std::string LastLines(const std::string& text, size_t bytes)
{
    std::string out = text;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    if (out.size() > bytes) {
        size_t from = out.size() - bytes;
        size_t line = out.find('\n', from);
        out = line == std::string::npos ? out.substr(from) : out.substr(line + 1);
    }
    return out;
}

namespace {
void (*toolStartHook)() = nullptr;
}  // namespace

void SetToolStartHookForTest(void (*hook)()) { toolStartHook = hook; }

void ToolStartHook()
{
    if (toolStartHook)
        toolStartHook();
}

std::string ToolResult::LastWords(size_t bytes) const
{
    std::string words = LastLines(output, bytes);
    std::string how = HowItEnded();
    return how.empty() ? words : words.empty() ? how : words + "\n" + how;
}

std::string ToolResult::HowItEnded() const
{
    if (!started || signal == 0)
        return "";
    return tool + " was ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes)
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        env.emplace_back(*e);
    for (const std::string& change : changes) {
        std::string name = change.substr(0, change.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(change);
    }
    return env;
}

namespace {

std::string Joined(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args)
        line += (line.empty() ? "" : " ") + arg;
    return line;
}

// Feeds the input and collects the output at the same time, so that neither side waits
// for the other with a full pipe.
void Exchange(int inFd, int outFd, const std::string* input, std::string& output, const FeedProgress& progress)
{
    size_t fed = 0;
    if (inFd >= 0 && (!input || input->empty())) {
        close(inFd);
        inFd = -1;
    }
    char chunk[65536];
    while (outFd >= 0) {
        pollfd fds[2] = {{outFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
        int n = poll(fds, inFd >= 0 ? 2 : 1, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        if (inFd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = write(inFd, input->data() + fed, std::min<size_t>(input->size() - fed, sizeof chunk));
            if (w > 0)
                fed += static_cast<size_t>(w);
            if (w < 0 && errno != EINTR && errno != EAGAIN)
                fed = input->size();  // the tool stopped reading
            else if (w > 0 && progress && !progress(fed))
                fed = input->size();  // the caller wants no more fed
            if (fed >= input->size()) {
                close(inFd);
                inFd = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t r = read(outFd, chunk, sizeof chunk);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            output.append(chunk, static_cast<size_t>(r));
        }
    }
    if (inFd >= 0)
        close(inFd);
}

// Texts as a null-ended list of pointers into them, for exec.
std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// " (descriptor 7)" for the trace of a tool that inherits descriptors.
std::string InheritedText(const std::vector<int>& inherit)
{
    std::string text;
    for (int fd : inherit)
        if (fd >= 0)
            text += (text.empty() ? " (descriptor " : ", ") + std::to_string(fd);
    return text.empty() ? text : text + ")";
}

// Starts the tool with its standard input from `inFd` (or /dev/null), its output and errors
// into `outFd` and the descriptors it inherits; 0 on success, else the error of the start.
int Spawn(const std::string& program, std::vector<std::string> args, std::vector<std::string> env, int inFd, int outFd,
          int stdoutFd, const std::vector<int>& inherit, pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd >= 0 ? stdoutFd : outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    for (int fd : inherit)
        if (fd >= 0)
            posix_spawn_file_actions_adddup2(&actions, fd, fd);  // the same number: close-on-exec is cleared
    ToolStartHook();
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);
    int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return err;
}

// Runs the tool here; its standard input is `inFd` when given, else the `input` text fed
// through a pipe, else /dev/null.
ToolResult RunHere(const std::vector<std::string>& args, int inFd, const std::string* input, const FeedProgress& fed,
                   const std::vector<int>& inherit, const std::vector<std::string>& environment, int stdoutFd)
{
    ToolResult result;
    result.tool = args.empty() ? std::string() : args[0];
    const std::string inherited = InheritedText(inherit);
    // A bare name is looked up as every outside program is; a path is run as it stands.
    const std::string program = args.empty() || args[0].find('/') != std::string::npos ? result.tool : FindTool(args[0]);
    if (program.empty()) {
        result.startError = ENOENT;
        Trace("run %s: cannot start: %s is not installed", Joined(args).c_str(), result.tool.c_str());
        return result;
    }
    int outPipe[2], inPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || (input && pipe2(inPipe, O_CLOEXEC) != 0)) {
        result.startError = errno;
        return result;
    }
    pid_t pid = 0;
    int err = Spawn(program, args, EnvironmentWith(environment), input ? inPipe[0] : inFd, outPipe[1], stdoutFd, inherit,
                    pid);
    close(outPipe[1]);
    if (input)
        close(inPipe[0]);
    if (err != 0) {
        close(outPipe[0]);
        if (input)
            close(inPipe[1]);
        result.startError = err;
        Trace("run %s%s: cannot start: %s", Joined(args).c_str(), inherited.c_str(), std::strerror(err));
        return result;
    }
    result.started = true;
    // A tool that stops reading its input must not end this process with SIGPIPE.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    Exchange(input ? inPipe[1] : -1, outPipe[0], input, result.output, fed);
    sigaction(SIGPIPE, &previous, nullptr);
    close(outPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (result.signal)
        Trace("run %s%s: %s", Joined(args).c_str(), inherited.c_str(), result.HowItEnded().c_str());
    else
        Trace("run %s%s: exit %d", Joined(args).c_str(), inherited.c_str(), result.status);
    return result;
}

}  // namespace

ToolResult RunToolWithStreams(const std::vector<std::string>& args, int standardInput, int standardOutput,
                              const std::vector<int>& inherit, const std::vector<std::string>& environment)
{
    return RunHere(args, standardInput, nullptr, {}, inherit, environment, standardOutput);
}

ToolResult RunTool(const std::vector<std::string>& args, const std::string* input, const FeedProgress& fed,
                   const std::vector<int>& inherit, const std::vector<std::string>& environment, int standardOutput)
{
    if (std::optional<ToolResult> run = HelperRunTool(args, input, fed, inherit, standardOutput))
        return *run;
    return RunHere(args, -1, input, fed, inherit, environment, standardOutput);
}

}  // namespace platform
