// A whole demo match without a device: the rules and the physics alone.
#include "Measure.h"
#include "Runs.h"
#include "game/Game.h"
#include "shell/Shell.h"

namespace {

constexpr uint32_t Seed = 7;
constexpr int32_t DemoMode = 3;

uint32_t simulatedFrames = 0;

// The computer's release timeout is in milliseconds: the match sees its own time pass.
uint32_t FrameClock()
{
    return simulatedFrames * 1000 / 60;
}

Game& CurrentMatch()
{
    return static_cast<Game&>(*CurrentScene);
}

}  // namespace

HeadlessRun RunHeadlessDemoMatch(uint32_t frameLimit)
{
    SeedRandom(Seed);
    simulatedFrames = 0;
    ClockSource = FrameClock;
    RequestScene(2, DemoMode);
    HeadlessRun run = {0, 0.0};
    const double start = NowSeconds();
    uint32_t lastFrame = 0;
    // The demo starts its next match by resetting the frame counter.
    for (; run.frames < frameLimit; ++run.frames, ++simulatedFrames) {
        StepScene();
        CurrentScene->Draw();
        if (CurrentMatch().frame < lastFrame)
            break;
        lastFrame = CurrentMatch().frame;
    }
    run.seconds = NowSeconds() - start;
    CurrentScene.reset();
    ClockSource = nullptr;
    return run;
}
