// config.ini, read with the C library's formatted-input rules: the file is one
// fixed sequence of fscanf patterns, and a pattern that fails leaves its value
// alone and the rest of the line for the next one.
#include <cstring>

#include "input/Input.h"
#include "render/Render.h"
#include "shell/Shell.h"
#include "sound/Sound.h"

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
const char* const ActionWords[ActionCount] = {"LEFT", "RIGHT", "UP", "DOWN", "NEXT"};

int32_t StepIterations()
{
    const int32_t asShort = static_cast<int16_t>(GameSettings.iterations);
    return asShort < 1 ? 1 : (asShort > 100 ? 100 : asShort);
}

namespace {

// An unknown word, a wrong case or a joystick that is not connected all mean the keyboard.
int32_t ControllerModeOfWord(const char* word, uint32_t joystickCount)
{
    if (std::strcmp(word, "JOYSTICK1") == 0)
        return joystickCount >= 1 ? 0 : -1;
    if (std::strcmp(word, "JOYSTICK2") == 0)
        return joystickCount >= 2 ? 1 : -1;
    if (std::strcmp(word, "MOUSE") == 0)
        return -2;
    return -1;
}

// The value of "KEY_LEFT=%d\n" and its kin; the pattern is built from the prefix and the action word.
void ReadActionValues(FILE* file, const char* prefix, int32_t (&values)[ActionCount])
{
    for (int32_t a = 0; a < ActionCount; ++a) {
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, prefix, ActionWords[a]);
        std::strcat(pattern, "=%d\n");
        std::fscanf(file, pattern, &values[a]);
    }
}

// Where the value stays unread, the flag is the int 0 it started as.
bool ReadFlag(FILE* file, const char* pattern, bool current)
{
    int32_t value = current ? 1 : 0;
    std::fscanf(file, pattern, &value);
    return value != 0;
}

void ReplaceFont(Font*& font, const char* face, int32_t height)
{
    if (font)
        ReleaseFont(font);
    font = CreateFont(face, height);
}

void CreateFonts(const DisplaySettings& display)
{
    const char* face = display.fontName.c_str();
    ReplaceFont(MiddleFont, face, display.middleFont);
    ReplaceFont(SmallFont, face, display.smallFont);
    ReplaceFont(LargeFont, face, display.largeFont);
}

}  // namespace

void ReadViewModeSection(FILE* file, DisplaySettings& display, GameSettingsRecord& settings)
{
    std::fscanf(file, "[VIEW_MODE]\n");
    std::fscanf(file, "WINDOWED=%d\n", &display.windowed);
    settings.boidLine = ReadFlag(file, "BOID_LINE=%d\n", settings.boidLine);
    int32_t effectNum = static_cast<int32_t>(settings.effectNum);
    std::fscanf(file, "EFFECT_NUM=%d\n", &effectNum);
    settings.effectNum = static_cast<uint32_t>(effectNum);
    char fontName[256];
    std::snprintf(fontName, sizeof fontName, "%s", display.fontName.c_str());
    std::fscanf(file, "FONT_NAME=%255[^\n]\n", fontName);
    display.fontName = fontName;
    std::fscanf(file, "SMALL_FONT=%d\n", &display.smallFont);
    std::fscanf(file, "MIDDLE_FONT=%d\n", &display.middleFont);
    std::fscanf(file, "LARGE_FONT=%d\n", &display.largeFont);
}

// A missing CONTROLER_MODE or USE_AXIS line leaves the player on the keyboard, without the stick.
void ReadKeyConfigSection(FILE* file, int32_t player, uint32_t joystickCount, GameSettingsRecord& settings)
{
    std::fscanf(file, player == 0 ? "[KEYCONFIG_P1]\n" : "[KEYCONFIG_P2]\n");
    char word[500] = "";
    std::fscanf(file, "CONTROLER_MODE=%499s\n", word);
    settings.controllerMode[player] = ControllerModeOfWord(word, joystickCount);
    ReadActionValues(file, "KEY_%s", settings.keyCodes[player]);
    ReadActionValues(file, "JOY_%s", settings.joyButtons[player]);
    settings.useAxis[player] = ReadFlag(file, "USE_AXIS=%d\n", false);
}

void ReadPhysicsSection(FILE* file, GameSettingsRecord& settings)
{
    std::fscanf(file, "[PHYSICS]\n");
    std::fscanf(file, "ITERATIONS=%d\n", &settings.iterations);
}

void ReadSettingsFile(FILE* file, uint32_t joystickCount, DisplaySettings& display, GameSettingsRecord& settings)
{
    ReadViewModeSection(file, display, settings);
    ReadKeyConfigSection(file, 0, joystickCount, settings);
    ReadKeyConfigSection(file, 1, joystickCount, settings);
    ReadPhysicsSection(file, settings);
}

// The reading is interleaved with the devices: the view mode decides how
// graphics start, and the controller words need the joysticks opened.
bool LoadSettings()
{
    DisplaySettings display;                                                   // 1. display defaults
    FILE* file = std::fopen("config.ini", "r");                                // 2. no file: defaults
    if (file)
        ReadViewModeSection(file, display, GameSettings);                      // 3. (6. boidLine with it)
    InitGraphics(display.windowed != 0);                                       // 4.
    SetViewCamera(glm::vec3(0, 10, -50), glm::vec3(0, 10, 0), glm::vec3(0, 1, 0));  // 5.
    if (DeviceReady)
        CreateFonts(display);                                                  // 7.
    OpenInputDevices();                                                        // 8.
    for (int32_t player = 0; file && player < 2; ++player)
        ReadKeyConfigSection(file, player, JoystickCount, GameSettings);       // 9.
    InitSound();                                                               // 10.
    if (file) {
        ReadPhysicsSection(file, GameSettings);                                // 11.
        std::fclose(file);
    }
    return true;
}
