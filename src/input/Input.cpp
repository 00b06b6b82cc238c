// Key-state table, mouse and the meaning of the bindings.
#include "input/Input.h"

#include <cmath>

#include "shell/Shell.h"

namespace {
bool keyStates[256];
ClientPoint cursor = {400, 300};

// Half the height of the play camera's view at the play plane (50 units away, 45 degrees).
const double ViewHalfHeight = 50.0 * std::tan(3.14159265358979323846 / 8.0);
}

void SetKeyDown(int32_t virtualKey, bool down)
{
    if (virtualKey >= 0 && virtualKey < 256)
        keyStates[virtualKey] = down;
}

void ClearKeyStates()
{
    for (bool& k : keyStates)
        k = false;
}

bool IsKeyDown(int32_t virtualKey)
{
    return virtualKey >= 0 && virtualKey < 256 && keyStates[virtualKey];
}

// The player's keys count in joystick mode as well, so a pad player can still use the keyboard.
bool IsActionDown(int32_t player, int32_t action)
{
    if (IsKeyDown(GameSettings.keyCodes[player][action]))
        return true;
    const int32_t mode = GameSettings.controllerMode[player];
    return mode >= 0 && JoystickButton(mode, GameSettings.joyButtons[player][action]) != 0;
}

// Player 2 is asked first, so a joystick both players are bound to belongs to player 2.
int32_t ControlledPlayer(int32_t joystick)
{
    if (joystick < 0)
        return -1;
    for (int32_t player = 1; player >= 0; --player) {
        if (GameSettings.controllerMode[player] == joystick)
            return player;
    }
    return -1;
}

void SetCursorClientPosition(int32_t x, int32_t y)
{
    cursor = {x, y};
}

ClientPoint CursorClientPosition()
{
    return cursor;
}

// The back buffer's centre (400, 300) lies on the camera's axis, which meets the play plane at (0, 10).
b2Vec2 CursorWorldPosition()
{
    const ClientPoint c = CursorClientPosition();
    const double x = (c.x - 400) * 2.0 / 800.0 * (ViewHalfHeight * 800.0 / 600.0);
    const double y = ViewHalfHeight * (300 - c.y) * 2.0 / 600.0 + 10.0;
    return {static_cast<float>(x), static_cast<float>(y)};
}

bool IsMouseButtonDown(int32_t button)
{
    return (button == VK_LBUTTON || button == VK_RBUTTON) && IsKeyDown(button);
}
