// SDL2 joysticks behind the joystick messages and queries.
#include "input/Input.h"

uint32_t JoystickCount = 0;
JoystickStateRecord JoystickState[2];
uint8_t ButtonMemory[2][128];

bool OpenInputDevices() { return false; }
void PollJoysticks() {}
uint8_t JoystickButton(int32_t, int32_t) { return 0; }
void CloseInputDevices() {}
