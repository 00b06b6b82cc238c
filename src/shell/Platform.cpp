// The SDL binding of the shell: the window, its events as window messages, the
// clock and the random source, and the start-up of the program.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "input/Input.h"
#include "render/Render.h"
#include "shell/Shell.h"
#include "sound/Sound.h"

uint32_t (*ClockSource)() = nullptr;
int32_t (*RandomSource)() = nullptr;

namespace {

uint32_t randomState = 1;

struct ScancodeKey {
    SDL_Scancode scancode;
    int32_t virtualKey;
};

// Keys other than letters are known by their position on the keyboard.
const ScancodeKey PositionKeys[] = {
    {SDL_SCANCODE_SPACE, VK_SPACE},      {SDL_SCANCODE_RETURN, VK_RETURN},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN},  {SDL_SCANCODE_ESCAPE, VK_ESCAPE},
    {SDL_SCANCODE_BACKSPACE, VK_BACK},   {SDL_SCANCODE_TAB, VK_TAB},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT},     {SDL_SCANCODE_RSHIFT, VK_SHIFT},
    {SDL_SCANCODE_LCTRL, VK_CONTROL},    {SDL_SCANCODE_RCTRL, VK_CONTROL},
    {SDL_SCANCODE_LALT, VK_MENU},        {SDL_SCANCODE_RALT, VK_MENU},
    {SDL_SCANCODE_LEFT, VK_LEFT},        {SDL_SCANCODE_UP, VK_UP},
    {SDL_SCANCODE_RIGHT, VK_RIGHT},      {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_INSERT, VK_INSERT},    {SDL_SCANCODE_DELETE, VK_DELETE},
    {SDL_SCANCODE_HOME, VK_HOME},        {SDL_SCANCODE_END, VK_END},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR},     {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_0, '0'},               {SDL_SCANCODE_KP_0, VK_NUMPAD0},
};

int32_t VirtualKeyOfPosition(SDL_Scancode scancode)
{
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return '1' + (scancode - SDL_SCANCODE_1);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + (scancode - SDL_SCANCODE_KP_1);
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return VK_F1 + (scancode - SDL_SCANCODE_F1);
    for (const ScancodeKey& key : PositionKeys) {
        if (key.scancode == scancode)
            return key.virtualKey;
    }
    return 0;
}

// Letters follow the layout (the key that types A is 'A'); a layout without
// Latin letters falls back to the letter at the key's position.
int32_t VirtualKeyOf(const SDL_Keysym& keysym)
{
    if (keysym.sym >= SDLK_a && keysym.sym <= SDLK_z)
        return 'A' + (keysym.sym - SDLK_a);
    const bool nonLatinLetter = keysym.sym >= 0x80 && !(keysym.sym & SDLK_SCANCODE_MASK);
    if (nonLatinLetter && keysym.scancode >= SDL_SCANCODE_A && keysym.scancode <= SDL_SCANCODE_Z)
        return 'A' + (keysym.scancode - SDL_SCANCODE_A);
    return VirtualKeyOfPosition(keysym.scancode);
}

// Window pixels to the back-buffer point packed as Windows packs it: x low, y high, 16 bits each.
intptr_t PackedPoint(int32_t x, int32_t y)
{
    WindowToBackBuffer(x, y);
    SetCursorClientPosition(x, y);
    return static_cast<intptr_t>(static_cast<uint16_t>(x) | (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

bool KeyMessage(const SDL_KeyboardEvent& key, Message& message)
{
    const int32_t virtualKey = VirtualKeyOf(key.keysym);
    if (virtualKey == 0)
        return false;
    const bool down = key.type == SDL_KEYDOWN;
    SetKeyDown(virtualKey, down);
    message = {down ? WM_KEYDOWN : WM_KEYUP, static_cast<uintptr_t>(virtualKey), 1};
    return true;
}

bool MouseButtonMessage(const SDL_MouseButtonEvent& button, Message& message)
{
    const bool down = button.type == SDL_MOUSEBUTTONDOWN;
    if (button.button == SDL_BUTTON_LEFT) {
        SetKeyDown(VK_LBUTTON, down);
        message.message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
    } else if (button.button == SDL_BUTTON_RIGHT) {
        SetKeyDown(VK_RBUTTON, down);
        message.message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
    } else {
        return false;
    }
    message.wParam = 0;
    message.lParam = PackedPoint(button.x, button.y);
    return true;
}

// One SDL event as at most one window message; false for events the game has no message for.
bool TranslateEvent(const SDL_Event& event, Message& message)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        return KeyMessage(event.key, message);
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        return MouseButtonMessage(event.button, message);
    case SDL_MOUSEMOTION:
        message = {WM_MOUSEMOVE, 0, PackedPoint(event.motion.x, event.motion.y)};
        return true;
    case SDL_QUIT:
        message = {WM_CLOSE, 0, 0};
        return true;
    case SDL_WINDOWEVENT:
        message = {WM_CLOSE, 0, 0};
        return event.window.event == SDL_WINDOWEVENT_CLOSE;
    case SDL_USEREVENT:
        message = {WM_MUSICEVENT, 0, 0};
        return event.user.code == static_cast<Sint32>(WM_MUSICEVENT);
    default:
        return false;
    }
}

// Events without a message are dropped here, so that an empty answer really
// means an empty queue and the loop may run a frame.
bool PollSdlMessage(Message& message)
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (TranslateEvent(event, message))
            return true;
    }
    return false;
}

bool Fail(const char* what)
{
    std::fprintf(stderr, "mirelune: %s\n", what);
    return false;
}

bool FailWithSdlError(const char* what)
{
    std::fprintf(stderr, "mirelune: %s: %s\n", what, SDL_GetError());
    return false;
}

// Drivers that open no window on any screen.
bool IsHeadless(const char* driver)
{
    return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
           std::strcmp(driver, "evdev") == 0;
}

// Left to itself, SDL falls back to a driver that shows nothing and the game
// would run unseen, so only the drivers with a screen are tried, in SDL's order.
// Wayland without a compositor to name would only print complaints of its own.
// A driver asked for by name is taken at its word.
bool StartVideo()
{
    if (std::getenv("SDL_VIDEODRIVER"))
        return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
        const char* driver = SDL_GetVideoDriver(i);
        if (IsHeadless(driver) || (std::strcmp(driver, "wayland") == 0 && !std::getenv("WAYLAND_DISPLAY")))
            continue;
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0)
            return true;
    }
    return false;
}

void SetGlAttributes()
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
}

// A missing icon.png leaves the window without an icon.
void SetWindowIcon(SDL_Window* window)
{
    SDL_Surface* icon = IMG_Load("icon.png");
    if (!icon)
        return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

}  // namespace

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

bool CreateMainWindow()
{
    if (SDL_Init(SDL_INIT_EVENTS) != 0)
        return FailWithSdlError("cannot start SDL");
    if (!StartVideo())
        return Fail("no display available (is DISPLAY set?)");
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);  // without it the players simply keep the keyboard
    SetGlAttributes();
    SDL_Window* window = SDL_CreateWindow("MIRELUNE", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800, 600,
                                          SDL_WINDOW_OPENGL);
    if (!window)
        return FailWithSdlError("cannot create the window");
    SetWindowIcon(window);
    MainWindow = window;
    PollPlatformMessage = PollSdlMessage;
    return true;
}

int RunProgram()
{
    SeedRandom(static_cast<uint32_t>(std::clock()));
    if (!CreateMainWindow())
        return 1;
    LoadSettings();
    // Exit hooks run in reverse: the input devices are released before the sound.
    std::atexit(ShutdownSound);
    std::atexit(CloseInputDevices);
    if (!DeviceReady) {
        Fail("graphics could not start (an OpenGL 3.3 core context is needed)");
        return 1;
    }
    RequestScene(1, 0);
    RunMessageLoop();
    return 0;
}
