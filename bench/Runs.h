// The benchmark's runs of the game: a peak-load match in the real window, a whole
// demo match without a device, and the real program started as a player starts it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// In this process, on the game's library.

// One frame of the peak-load match: wall-clock seconds of each part.
struct PeakFrame {
    double update;     // Game::Update, the physics step included
    double step;       // the b2World::Step called inside that Update
    double callbacks;  // the game's contact callback inside that Step; timed on odd frames only
    double draw;       // Game::Draw less the time spent in the buffer swap
    double driver;     // the GL draws, uploads, clears and blit inside that Draw
    double swap;       // SDL_GL_SwapWindow inside Draw
    bool callbacksTimed;
    uint32_t drawCalls;
    uint32_t lines;
    uint32_t sprites;
    uint32_t blocks;
    uint32_t sparks;   // drawn in this frame
    float fill[2];
    bool chainRunning;
};

// Both fields held near 80 %, both pieces steered by their keys into the piles,
// chains running; needs LoadSettings to have run in the run directory. The frames
// after a warm-up are returned.
std::vector<PeakFrame> RunPeakLoad(uint32_t frames);

struct HeadlessRun {
    uint32_t frames;
    double seconds;
};
// A whole demo match through the scene switch and the frame of the real loop
// (StepScene, Draw) with no device, no sound and no pacing; the clock seam
// advances one sixtieth of a second per frame, as the match would see it played.
HeadlessRun RunHeadlessDemoMatch(uint32_t frameLimit);

// ---------------------------------------------------------------------------
// The real program, started as its own process with the present probe preloaded.

struct ProgramRun {
    bool started;
    std::string failure;
    std::vector<int64_t> presents;  // monotonic nanoseconds after each buffer swap returned
    int64_t spawned;                // monotonic nanoseconds just before the process was made
    uint64_t peakResidentKb;        // VmHWM when the last wanted present came
};

// Runs a program in the run directory until it has presented the given number of
// frames, then closes it as the window manager would. Without an argument it is
// the game's own binary; "--first-frame" runs this benchmark's floor below.
ProgramRun RunRealProgram(uint32_t presents, const char* argument = nullptr);

// The floor of the start-up, run as its own process by --first-frame: the
// library's window and graphics device and one frame of lines, without the
// game's fonts, input, sound or menu. What is left is SDL, X and Mesa.
int PresentFirstFrame();
