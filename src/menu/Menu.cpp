// The title menu.
#include "menu/Menu.h"

uint32_t lastMoveFrame = 0;

void Menu::Init(int32_t) {}
void Menu::Draw() {}
void Menu::Update() {}
void Menu::HandleMessage(WindowHandle, uint32_t, uintptr_t, intptr_t) {}
