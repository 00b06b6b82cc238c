// The real program as a player starts it, watched from outside: the present
// probe is preloaded and reports every swap through a pipe, and the peak
// resident memory is read from /proc while the program still runs. Also the
// floor of the start-up, run the same way.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Measure.h"
#include "Runs.h"
#include "render/Render.h"
#include "shell/Shell.h"

namespace {

constexpr int FirstPresentTimeoutMs = 20000;
constexpr int PresentTimeoutMs = 5000;

// The game's environment with the probe preloaded; LD_PRELOAD and the pipe's
// number are for the probe, the game reads neither.
std::vector<std::string> ProbedEnvironment(int reportDescriptor)
{
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "LD_PRELOAD=", 11) != 0)
            environment.emplace_back(*variable);
    }
    environment.push_back(std::string("LD_PRELOAD=") + MIRELUNE_PRESENT_PROBE);
    environment.push_back("MIRELUNE_PRESENT_FD=" + std::to_string(reportDescriptor));
    return environment;
}

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void StartProgram(char* const* arguments, char* const* environment, int quiet)
{
    if (chdir(MIRELUNE_RUN_DIR) != 0)
        _exit(127);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    execve(arguments[0], arguments, environment);
    _exit(127);
}

uint64_t PeakResidentKb(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return 0;
    char line[256];
    uint64_t kb = 0;
    while (std::fgets(line, sizeof line, file)) {
        if (std::sscanf(line, "VmHWM: %lu kB", &kb) == 1)
            break;
    }
    std::fclose(file);
    return kb;
}

bool ReadPresent(int descriptor, int timeoutMs, int64_t& nanoseconds)
{
    pollfd watched = {descriptor, POLLIN, 0};
    if (poll(&watched, 1, timeoutMs) <= 0)
        return false;
    return read(descriptor, &nanoseconds, sizeof nanoseconds) == static_cast<ssize_t>(sizeof nanoseconds);
}

// SIGTERM becomes SDL's quit event, which the game answers by closing its window.
void CloseProgram(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

ProgramRun RunRealProgram(uint32_t presents, const char* argument)
{
    ProgramRun run = {false, "", {}, 0, 0};
    if (!std::getenv("DISPLAY")) {
        run.failure = "needs a display (make bench starts an Xvfb)";
        return run;
    }
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        run.failure = "no pipe";
        return run;
    }
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    const std::vector<std::string> environment = ProbedEnvironment(pipeEnds[1]);
    std::vector<char*> variables;
    for (const std::string& variable : environment)
        variables.push_back(const_cast<char*>(variable.c_str()));
    variables.push_back(nullptr);
    char* const arguments[] = {const_cast<char*>(argument ? "/proc/self/exe" : MIRELUNE_BINARY),
                               const_cast<char*>(argument), nullptr};
    const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
    run.spawned = NowNanoseconds();
    const pid_t pid = fork();
    if (pid == 0)
        StartProgram(arguments, variables.data(), quiet);
    close(pipeEnds[1]);
    close(quiet);
    run.started = pid > 0;
    int64_t present = 0;
    while (run.started && run.presents.size() < presents &&
           ReadPresent(pipeEnds[0], run.presents.empty() ? FirstPresentTimeoutMs : PresentTimeoutMs, present))
        run.presents.push_back(present);
    if (run.started) {
        run.peakResidentKb = PeakResidentKb(pid);
        CloseProgram(pid);
    }
    close(pipeEnds[0]);
    if (run.presents.size() < presents)
        run.failure = Format("presented %zu of %u frames", run.presents.size(), presents);
    return run;
}

int PresentFirstFrame()
{
    if (!CreateMainWindow() || !InitGraphics(true))
        return 1;
    SetViewCamera(glm::vec3(0, 10, -50), glm::vec3(0, 10, 0), glm::vec3(0, 1, 0));
    ClearFrame(0x00000000);
    BeginScene();
    DrawLine3D(0xFFFFFFFF, glm::vec3(-10, 0, 0), glm::vec3(10, 20, 0));
    EndScene();
    PresentFrame();
    for (;;) {
        Message message = {};
        while (PeekMessage(message)) {
            if (message.message == WM_CLOSE)
                return 0;
        }
        Sleep(10);
    }
}
