// Input: the key-state table, the mouse, up to two joysticks and what the key
// bindings of GameSettings mean.
#pragma once

#include <cstdint>

#include <box2d/box2d.h>

// A joystick key message has this bit in lParam, with the joystick index in the others.
constexpr intptr_t JoystickFlag = 0x40;

// One joystick's state as the poll reads it: axes -1000..1000, hats in hundredths
// of a degree (0xFFFFFFFF centred), 128 button bytes with 0x80 for pressed.
struct JoystickStateRecord {
    int32_t lX;
    int32_t lY;
    uint32_t rgdwPOV[4];
    uint8_t rgbButtons[128];
};

// Input state: zero at program start, set by OpenInputDevices and PollJoysticks.
extern uint32_t JoystickCount;                  // joysticks opened, 0..2
extern JoystickStateRecord JoystickState[2];    // last state read from each joystick
extern uint8_t ButtonMemory[2][128];            // last JoystickButton answer per button

// Opens at most two joysticks; false only when the joystick subsystem cannot start.
bool OpenInputDevices();
// Reads the joysticks and sends WM_USER and the button WM_KEYDOWN/WM_KEYUP messages
// to the window procedure; called once per frame by the current scene's Update.
void PollJoysticks();
// True for an opened joystick that has been unplugged since.
bool JoystickUnplugged(int32_t joystick);
// 0 not pressed, 1 newly pressed, 3 held; 0 for a joystick or button out of range.
uint8_t JoystickButton(int32_t joystick, int32_t button);
// The first exit hook: releases the joysticks.
void CloseInputDevices();

// The key-state table, indexed by virtual-key code, fed by the shell as it takes
// key and mouse-button events from the queue (tests set it directly).
void SetKeyDown(int32_t virtualKey, bool down);
void ClearKeyStates();
bool IsKeyDown(int32_t virtualKey);

// The player's key for the action, or, in joystick mode, the player's button.
bool IsActionDown(int32_t player, int32_t action);
// The player whose controller mode is this joystick (player 2 when both are), else -1.
int32_t ControlledPlayer(int32_t joystick);

struct ClientPoint {
    int32_t x;
    int32_t y;
};
// The cursor in back-buffer pixels, fed by the shell from mouse events.
void SetCursorClientPosition(int32_t x, int32_t y);
ClientPoint CursorClientPosition();
// The cursor in the play plane: the picture's centre (400, 300) gives (0, 10).
b2Vec2 CursorWorldPosition();
bool IsMouseButtonDown(int32_t button);
