// The default config.ini: every item in the order the game reads them, one a line.
#include <cstdio>

#include "Assets.h"
#include "shell/Shell.h"

namespace {

const char* ControllerWord(int32_t mode)
{
    switch (mode) {
    case -2:
        return "MOUSE";
    case 0:
        return "JOYSTICK1";
    case 1:
        return "JOYSTICK2";
    default:
        return "KEYBOARD";
    }
}

void WriteViewMode(FILE* file, const DisplaySettings& display, const GameSettingsRecord& settings)
{
    std::fprintf(file, "[VIEW_MODE]\n");
    std::fprintf(file, "WINDOWED=%d\n", display.windowed);
    std::fprintf(file, "BOID_LINE=%d\n", settings.boidLine ? 1 : 0);
    std::fprintf(file, "EFFECT_NUM=%u\n", settings.effectNum);
    std::fprintf(file, "FONT_NAME=%s\n", display.fontName.c_str());
    std::fprintf(file, "SMALL_FONT=%d\n", display.smallFont);
    std::fprintf(file, "MIDDLE_FONT=%d\n", display.middleFont);
    std::fprintf(file, "LARGE_FONT=%d\n", display.largeFont);
}

void WriteKeyConfig(FILE* file, int32_t player, const GameSettingsRecord& settings)
{
    std::fprintf(file, "[KEYCONFIG_P%d]\n", player + 1);
    std::fprintf(file, "CONTROLER_MODE=%s\n", ControllerWord(settings.controllerMode[player]));
    for (int32_t a = 0; a < ActionCount; ++a)
        std::fprintf(file, "KEY_%s=%d\n", ActionWords[a], settings.keyCodes[player][a]);
    for (int32_t a = 0; a < ActionCount; ++a)
        std::fprintf(file, "JOY_%s=%d\n", ActionWords[a], settings.joyButtons[player][a]);
    std::fprintf(file, "USE_AXIS=%d\n", settings.useAxis[player] ? 1 : 0);
}

}  // namespace

bool WriteConfigIni(const std::string& directory)
{
    FILE* file = std::fopen((directory + "/config.ini").c_str(), "w");
    if (!file)
        return false;
    const GameSettingsRecord settings = DefaultGameSettings();
    WriteViewMode(file, DisplaySettings{}, settings);
    WriteKeyConfig(file, 0, settings);
    WriteKeyConfig(file, 1, settings);
    std::fprintf(file, "[PHYSICS]\n");
    std::fprintf(file, "ITERATIONS=%d\n", settings.iterations);
    return std::fclose(file) == 0;
}
