// The Game scene's commands: pause, menus, restart, leaving, skipping.
#include "game/Game.h"

void Game::HandleMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) {}
