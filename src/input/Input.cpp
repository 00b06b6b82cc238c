// Key-state table, mouse and the meaning of the bindings.
#include "input/Input.h"

#include "shell/Shell.h"

namespace {
bool keyStates[256];
ClientPoint cursor = {400, 300};
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

bool IsActionDown(int32_t, int32_t) { return false; }
int32_t ControlledPlayer(int32_t) { return -1; }

void SetCursorClientPosition(int32_t x, int32_t y)
{
    cursor = {x, y};
}

ClientPoint CursorClientPosition()
{
    return cursor;
}

b2Vec2 CursorWorldPosition() { return {0, 10}; }

bool IsMouseButtonDown(int32_t button)
{
    return IsKeyDown(button);
}
