// SDL2 joysticks behind the joystick messages and queries.
#include <SDL.h>

#include <cstring>

#include "input/Input.h"
#include "shell/Shell.h"

uint32_t JoystickCount = 0;
JoystickStateRecord JoystickState[2];
uint8_t ButtonMemory[2][128];

namespace {
SDL_Joystick* joysticks[2];
int32_t enumerationAttempts = 0;  // devices offered so far, opened or not
bool subsystemStarted = false;

constexpr uint32_t HatCentred = 0xFFFFFFFF;
constexpr int32_t ButtonCount = 128;
constexpr int32_t HatButtons = 65;  // hat h presses up, right, down, left as 65 + 4h ...
constexpr uint8_t Pressed = 0x80;

// The attempt rule: once two devices have been offered, the next success ends the search.
void OpenJoysticks()
{
    const int32_t devices = SDL_NumJoysticks();
    for (int32_t device = 0; device < devices; ++device) {
        joysticks[JoystickCount] = SDL_JoystickOpen(device);
        ++enumerationAttempts;
        if (joysticks[JoystickCount] == nullptr)
            continue;
        ++JoystickCount;
        if (enumerationAttempts >= 2)
            break;
    }
}

int32_t ScaledAxis(SDL_Joystick* stick, int32_t axis)
{
    if (axis >= SDL_JoystickNumAxes(stick))
        return 0;
    const int32_t raw = SDL_JoystickGetAxis(stick, axis);
    return raw >= 0 ? (raw * 1000 + 16383) / 32767 : -((-raw * 1000 + 16384) / 32768);
}

// Hundredths of a degree clockwise from up; a pair of opposite directions reads as centred.
uint32_t HatAngle(uint8_t hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return HatCentred;
    }
}

void ReadState(SDL_Joystick* stick, JoystickStateRecord& state)
{
    state.lX = ScaledAxis(stick, 0);
    state.lY = ScaledAxis(stick, 1);
    const int32_t hats = SDL_JoystickNumHats(stick);
    for (int32_t h = 0; h < 4; ++h)
        state.rgdwPOV[h] = h < hats ? HatAngle(SDL_JoystickGetHat(stick, h)) : HatCentred;
    const int32_t buttons = SDL_JoystickNumButtons(stick);
    for (int32_t b = 0; b < ButtonCount; ++b)
        state.rgbButtons[b] = b < buttons && SDL_JoystickGetButton(stick, b) ? Pressed : 0;
}

// A joystick that is gone reads as let go, so nothing it held keeps steering or pressing.
void RestState(JoystickStateRecord& state)
{
    std::memset(&state, 0, sizeof state);
    for (uint32_t& pov : state.rgdwPOV)
        pov = HatCentred;
}

void SetHatButton(JoystickStateRecord& state, int32_t button, bool pressed)
{
    state.rgbButtons[button] = pressed ? state.rgbButtons[button] | Pressed : 0;
}

// A centred hat leaves its four buttons as the device reported them.
void PressHatButtons(JoystickStateRecord& state)
{
    for (int32_t h = 0; h < 4; ++h) {
        const uint32_t v = state.rgdwPOV[h];
        if (v == HatCentred)
            continue;
        const int32_t up = HatButtons + 4 * h;
        SetHatButton(state, up, v <= 4500 || v >= 31500);
        SetHatButton(state, up + 1, v >= 4500 && v <= 13500);
        SetHatButton(state, up + 2, v >= 13500 && v <= 22500);
        SetHatButton(state, up + 3, v >= 22500 && v <= 31500);
    }
}

void SendButtonChanges(uint32_t index, const JoystickStateRecord& before, const JoystickStateRecord& now)
{
    for (int32_t b = 0; b < ButtonCount; ++b) {
        if (now.rgbButtons[b] == before.rgbButtons[b])
            continue;
        const uint32_t message = (now.rgbButtons[b] & Pressed) ? WM_KEYDOWN : WM_KEYUP;
        MainWindowProc(MainWindow, message, b, JoystickFlag | index);
    }
}

// An unplugged joystick gives no input; the other one is still read.
void PollJoystick(uint32_t index)
{
    JoystickStateRecord& state = JoystickState[index];
    if (!SDL_JoystickGetAttached(joysticks[index])) {
        RestState(state);
        return;
    }
    const JoystickStateRecord previous = state;
    ReadState(joysticks[index], state);
    MainWindowProc(MainWindow, WM_USER, index, reinterpret_cast<intptr_t>(&state));
    PressHatButtons(state);
    SendButtonChanges(index, previous, state);
}
}  // namespace

bool OpenInputDevices()
{
    JoystickCount = 0;
    enumerationAttempts = 0;
    std::memset(JoystickState, 0, sizeof JoystickState);
    std::memset(ButtonMemory, 0, sizeof ButtonMemory);
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0)
        return false;
    subsystemStarted = true;
    // The poll reads the state directly; queued joystick events would only crowd the message loop.
    SDL_JoystickEventState(SDL_IGNORE);
    OpenJoysticks();
    return true;
}

void PollJoysticks()
{
    if (JoystickCount == 0)
        return;
    SDL_JoystickUpdate();
    for (uint32_t i = 0; i < JoystickCount; ++i)
        PollJoystick(i);
}

bool JoystickUnplugged(int32_t joystick)
{
    return joystick >= 0 && joystick < static_cast<int32_t>(JoystickCount) && !SDL_JoystickGetAttached(joysticks[joystick]);
}

uint8_t JoystickButton(int32_t joystick, int32_t button)
{
    if (joystick < 0 || joystick >= static_cast<int32_t>(JoystickCount) || button < 0 || button >= ButtonCount)
        return 0;
    uint8_t& memory = ButtonMemory[joystick][button];
    if (JoystickState[joystick].rgbButtons[button] == 0)
        memory = 0;
    else
        memory = memory != 0 ? 3 : 1;
    return memory;
}

void CloseInputDevices()
{
    for (SDL_Joystick*& stick : joysticks) {
        if (stick != nullptr)
            SDL_JoystickClose(stick);
        stick = nullptr;
    }
    JoystickCount = 0;
    if (subsystemStarted)
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    subsystemStarted = false;
}
