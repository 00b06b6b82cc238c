// Preloaded into the real program by the benchmark, and only there: after each
// buffer swap it writes the monotonic time in nanoseconds to the pipe the
// benchmark names. The game itself has no such output.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

struct SDL_Window;

namespace {

using SwapFunction = void (*)(SDL_Window*);

int ReportDescriptor()
{
    static const int descriptor = [] {
        const char* value = std::getenv("MIRELUNE_PRESENT_FD");
        return value ? std::atoi(value) : -1;
    }();
    return descriptor;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void SDL_GL_SwapWindow(SDL_Window* window)
{
    static const auto swap = reinterpret_cast<SwapFunction>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    swap(window);
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t nanoseconds = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
    if (ReportDescriptor() >= 0 && write(ReportDescriptor(), &nanoseconds, sizeof nanoseconds) < 0)
        return;  // the benchmark stopped listening; the game goes on
}
