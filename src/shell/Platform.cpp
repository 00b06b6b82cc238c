// The SDL binding of the shell: window, events as messages, clock, random source.
#include <SDL.h>

#include "shell/Shell.h"

uint32_t (*ClockSource)() = nullptr;
int32_t (*RandomSource)() = nullptr;

namespace {
uint32_t randomState = 1;
}

uint32_t timeGetTime()
{
    return ClockSource ? ClockSource() : SDL_GetTicks();
}

void Sleep(uint32_t milliseconds)
{
    SDL_Delay(milliseconds);
}

void SeedRandom(uint32_t seed)
{
    randomState = seed;
}

// The linear congruential generator of the Windows C library: 0 to 32767.
int32_t Rand()
{
    if (RandomSource)
        return RandomSource();
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

int RunProgram()
{
    return 0;
}
