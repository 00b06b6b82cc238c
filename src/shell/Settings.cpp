// config.ini, read with the C library's formatted-input rules.
#include "shell/Shell.h"

GameSettingsRecord DefaultGameSettings()
{
    GameSettingsRecord s = {};
    const int32_t keys[2][ActionCount] = {{65, 68, 87, 83, 32}, {37, 39, 38, 40, 13}};
    for (int p = 0; p < 2; ++p) {
        for (int a = 0; a < ActionCount; ++a) {
            s.keyCodes[p][a] = keys[p][a];
            s.joyButtons[p][a] = a;
        }
        s.controllerMode[p] = -1;
        s.useAxis[p] = false;
    }
    s.iterations = 10;
    s.effectNum = 8;
    s.boidLine = true;
    return s;
}

GameSettingsRecord GameSettings = DefaultGameSettings();

int32_t StepIterations()
{
    const int32_t asShort = static_cast<int16_t>(GameSettings.iterations);
    return asShort < 1 ? 1 : (asShort > 100 ? 100 : asShort);
}
