#include "Measure.h"

#include <SDL.h>
#include <box2d/box2d.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <numeric>

CallTime StepTime = {0.0, 0};
CallTime SwapTime = {0.0, 0};

namespace {

std::vector<Figure> figures;
std::vector<std::string> notes;

}  // namespace

// The linker hands the library's calls to these and the originals to __real_.
extern "C" {
void __real__ZN7b2World4StepEfii(b2World* world, float timeStep, int32 velocityIterations, int32 positionIterations);
void __real_SDL_GL_SwapWindow(SDL_Window* window);

void __wrap__ZN7b2World4StepEfii(b2World* world, float timeStep, int32 velocityIterations, int32 positionIterations)
{
    const double start = NowSeconds();
    __real__ZN7b2World4StepEfii(world, timeStep, velocityIterations, positionIterations);
    StepTime.seconds += NowSeconds() - start;
    ++StepTime.calls;
}

void __wrap_SDL_GL_SwapWindow(SDL_Window* window)
{
    const double start = NowSeconds();
    __real_SDL_GL_SwapWindow(window);
    SwapTime.seconds += NowSeconds() - start;
    ++SwapTime.calls;
}
}

int64_t NowNanoseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

double NowSeconds()
{
    return static_cast<double>(NowNanoseconds()) * 1e-9;
}

double Percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0.0;
    const auto index = static_cast<size_t>(fraction * static_cast<double>(samples.size() - 1) + 0.5);
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index), samples.end());
    return samples[index];
}

double Median(std::vector<double> samples)
{
    return Percentile(std::move(samples), 0.5);
}

double Mean(const std::vector<double>& samples)
{
    if (samples.empty())
        return 0.0;
    return std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
}

void ResetCallTimes()
{
    StepTime = {0.0, 0};
    SwapTime = {0.0, 0};
    GlTime = {0.0, 0};
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void AddFigure(const std::string& name, const std::string& value, const std::string& target, bool met)
{
    figures.push_back({name, value, target, met});
}

void AddNote(const std::string& note)
{
    notes.push_back(note);
}

void PrintTable(bool quick)
{
    size_t nameWidth = 6;
    size_t valueWidth = 5;
    for (const Figure& f : figures) {
        nameWidth = std::max(nameWidth, f.name.size());
        valueWidth = std::max(valueWidth, f.value.size());
    }
    std::printf("\nMIRELUNE benchmark%s\n\n", quick ? " (quick run: short samples, figures are rough)" : "");
    std::printf("%-*s  %-*s  %s\n", int(nameWidth), "figure", int(valueWidth), "value", "target");
    std::printf("%s\n", std::string(nameWidth + valueWidth + 24, '-').c_str());
    for (const Figure& f : figures) {
        const std::string verdict = f.target.empty() ? "" : f.target + (f.met ? "  met" : "  MISSED");
        std::printf("%-*s  %-*s  %s\n", int(nameWidth), f.name.c_str(), int(valueWidth), f.value.c_str(),
                    verdict.c_str());
    }
    std::printf("\n");
    for (size_t i = 0; i < notes.size(); ++i)
        std::printf("[%zu] %s\n", i + 1, notes[i].c_str());
    std::fflush(stdout);
}
