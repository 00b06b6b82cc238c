// The benchmark's measuring tools: the clock, sample statistics, the probes the
// benchmark's link puts around two of the library's calls, and the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Seconds on the monotonic clock, the one the present probe of the real program uses too.
double NowSeconds();
int64_t NowNanoseconds();

double Median(std::vector<double> samples);
// The sample below which the given fraction (0..1) of the samples lies.
double Percentile(std::vector<double> samples, double fraction);
double Mean(const std::vector<double>& samples);

// Time spent inside a wrapped library call since the last reset. The benchmark is
// linked with --wrap for b2World::Step and SDL_GL_SwapWindow, so the calls the game's
// own code makes are timed in place; the shipped program is linked without it.
struct CallTime {
    double seconds;
    uint32_t calls;
};
extern CallTime StepTime;
extern CallTime SwapTime;
// The driver's share of the frame: draws, buffer uploads, clears and the picture's
// blit, timed through libepoxy's pointers once TimeGlCalls has run, after a drawn frame.
extern CallTime GlTime;
void TimeGlCalls();
void ResetCallTimes();

// One line of the printed table.
struct Figure {
    std::string name;
    std::string value;
    std::string target;  // empty: printed for information only
    bool met;
};

void AddFigure(const std::string& name, const std::string& value, const std::string& target = "", bool met = true);
void AddNote(const std::string& note);
void PrintTable(bool quick);
// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
