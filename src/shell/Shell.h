// The application shell: scenes, the scene switch, the window procedure, the
// message loop, the settings and the small platform seams (clock, random source).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// ---------------------------------------------------------------------------
// Window messages and key codes. config.ini stores Windows virtual-key codes and
// the scenes speak Windows message numbers, so both keep their Windows values.

using WindowHandle = void*;  // the SDL window behind MainWindow, opaque to the scenes

constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_USER = 0x0400;          // joystick state: wParam index, lParam JoystickStateRecord*
constexpr uint32_t WM_MUSICEVENT = 0x8001;    // the music stream reached its end

constexpr int32_t VK_LBUTTON = 0x01;
constexpr int32_t VK_RBUTTON = 0x02;
constexpr int32_t VK_BACK = 0x08;
constexpr int32_t VK_TAB = 0x09;
constexpr int32_t VK_RETURN = 0x0D;
constexpr int32_t VK_SHIFT = 0x10;
constexpr int32_t VK_CONTROL = 0x11;
constexpr int32_t VK_MENU = 0x12;
constexpr int32_t VK_ESCAPE = 0x1B;
constexpr int32_t VK_SPACE = 0x20;
constexpr int32_t VK_PRIOR = 0x21;
constexpr int32_t VK_NEXT = 0x22;
constexpr int32_t VK_END = 0x23;
constexpr int32_t VK_HOME = 0x24;
constexpr int32_t VK_LEFT = 0x25;
constexpr int32_t VK_UP = 0x26;
constexpr int32_t VK_RIGHT = 0x27;
constexpr int32_t VK_DOWN = 0x28;
constexpr int32_t VK_INSERT = 0x2D;
constexpr int32_t VK_DELETE = 0x2E;
constexpr int32_t VK_NUMPAD0 = 0x60;
constexpr int32_t VK_F1 = 0x70;
constexpr int32_t VK_F2 = 0x71;

// ---------------------------------------------------------------------------
// Scenes. Exactly one scene is current; a scene asks for a switch with
// RequestScene and the loop performs it at the start of the next frame.

class Scene {
public:
    virtual ~Scene() = default;
    virtual void Init(int32_t argument) = 0;  // enter the scene, right after creation
    virtual void Draw() = 0;                  // one frame, frame bracket included
    virtual void Update() = 0;                // advance the scene by one frame
    // Sees every window message before the window procedure's own handling.
    virtual void HandleMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

struct SceneRequestRecord {
    int32_t nextSceneId;   // 0 nothing pending, 1 Menu, 2 Game
    int32_t initArgument;  // passed to the new scene's Init
};

// Program-wide shell state; set at start-up, lives until exit.
extern SceneRequestRecord SceneRequest;
extern std::unique_ptr<Scene> CurrentScene;  // none until the first frame
extern WindowHandle MainWindow;              // null when running without a window (tests)

// Files a scene switch; a later request in the same frame replaces an earlier one.
void RequestScene(int32_t sceneId, int32_t argument);
// Applies a pending request (destroy, create, Init) and then updates the current scene.
void StepScene();
// Builds the scene of an id (1 Menu, 2 Game); tests may replace it to watch the switch.
extern std::unique_ptr<Scene> (*CreateSceneForId)(int32_t sceneId);

// The window procedure: the current scene's HandleMessage first, then the message table.
// Escape (a key, not a joystick button) and closing the window end the program.
intptr_t MainWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// What WM_MUSICEVENT runs after the scene has seen it: OnMusicEvent; tests may replace it.
extern void (*MusicEventHandler)();

// ---------------------------------------------------------------------------
// The message queue. Posted messages wait here; the platform binding adds the
// window's events one at a time when the queue is empty.

struct Message {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
void PostQuitMessage(int32_t exitCode);
void DestroyWindow(WindowHandle window);  // sends WM_DESTROY to the window procedure
// Takes one message: a posted one first, else the next platform event. False when none waits.
bool PeekMessage(Message& message);
// Where PeekMessage gets platform events from; the SDL binding sets it, tests may set their own.
extern bool (*PollPlatformMessage)(Message& message);
// Drops every posted message (tests; a new run of the loop).
void ClearMessageQueue();

// The loop: one pending message per pass, or one frame (StepScene, Draw) when the
// queue is empty, until WM_QUIT. Destroys the current scene at the end.
void RunMessageLoop();

// ---------------------------------------------------------------------------
// Platform seams: the millisecond clock, the random source and sleeping.

uint32_t timeGetTime();              // milliseconds since start
void Sleep(uint32_t milliseconds);
int32_t Rand();                      // 0 to 32767, like the C library's rand on Windows
void SeedRandom(uint32_t seed);      // srand
extern uint32_t (*ClockSource)();    // null: the real clock; tests set their own
extern int32_t (*RandomSource)();    // null: the generator seeded by SeedRandom

// ---------------------------------------------------------------------------
// Settings, read once from config.ini at start-up.

enum Action : int32_t { LEFT = 0, RIGHT = 1, UP = 2, DOWN = 3, NEXT = 4 };
constexpr int32_t ActionCount = 5;
// The action words of config.ini's KEY_ and JOY_ items, by action.
extern const char* const ActionWords[ActionCount];

struct GameSettingsRecord {
    int32_t keyCodes[2][ActionCount];    // virtual-key code per player and action
    int32_t joyButtons[2][ActionCount];  // joystick button per player and action
    int32_t controllerMode[2];           // -2 mouse, -1 keyboard, 0/1 a joystick index
    bool useAxis[2];                     // the player's stick steers as well
    int32_t iterations;                  // solver iterations per physics step
    uint32_t effectNum;                  // sparks per burst
    bool boidLine;                       // outlines drawn as three parallel strokes
};

// The defaults, also what a missing config.ini leaves in place.
GameSettingsRecord DefaultGameSettings();
extern GameSettingsRecord GameSettings;  // read by every subsystem, written only by LoadSettings

// Values used while loading only.
struct DisplaySettings {
    int32_t windowed = 1;
    std::string fontName = "Small Fonts";
    int32_t smallFont = 16;
    int32_t middleFont = 32;
    int32_t largeFont = 40;
};

// The three reading stages of config.ini, applied to an open file with the C
// library's formatted-input rules. LoadSettings runs them with the devices in
// between; tests run them on their own.
void ReadViewModeSection(FILE* file, DisplaySettings& display, GameSettingsRecord& settings);
void ReadKeyConfigSection(FILE* file, int32_t player, uint32_t joystickCount, GameSettingsRecord& settings);
void ReadPhysicsSection(FILE* file, GameSettingsRecord& settings);
// The whole file, read without any device.
void ReadSettingsFile(FILE* file, uint32_t joystickCount, DisplaySettings& display, GameSettingsRecord& settings);

// The solver iteration count both worlds step with: ITERATIONS as a signed 16-bit
// value, kept within 1 to 100 so that a typing error cannot stall every frame or
// switch the solver off.
int32_t StepIterations();

// Reads config.ini and brings up graphics, camera, fonts, input and sound in their order.
bool LoadSettings();

// ---------------------------------------------------------------------------
// The program: window, settings, first scene, loop. Returns the exit status.

// Creates the SDL window (false with one line on stderr when it cannot be shown).
bool CreateMainWindow();
int RunProgram();
