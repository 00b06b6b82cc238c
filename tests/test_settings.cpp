// config.ini texts against the settings they leave, read the way the game reads them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "input/Input.h"
#include "shell/Shell.h"

namespace {

// The complete default file, one item per line.
const char* const DefaultText =
    "[VIEW_MODE]\nWINDOWED=1\nBOID_LINE=1\nEFFECT_NUM=8\nFONT_NAME=Small Fonts\n"
    "SMALL_FONT=16\nMIDDLE_FONT=32\nLARGE_FONT=40\n"
    "[KEYCONFIG_P1]\nCONTROLER_MODE=KEYBOARD\n"
    "KEY_LEFT=65\nKEY_RIGHT=68\nKEY_UP=87\nKEY_DOWN=83\nKEY_NEXT=32\n"
    "JOY_LEFT=0\nJOY_RIGHT=1\nJOY_UP=2\nJOY_DOWN=3\nJOY_NEXT=4\nUSE_AXIS=0\n"
    "[KEYCONFIG_P2]\nCONTROLER_MODE=KEYBOARD\n"
    "KEY_LEFT=37\nKEY_RIGHT=39\nKEY_UP=38\nKEY_DOWN=40\nKEY_NEXT=13\n"
    "JOY_LEFT=0\nJOY_RIGHT=1\nJOY_UP=2\nJOY_DOWN=3\nJOY_NEXT=4\nUSE_AXIS=0\n"
    "[PHYSICS]\nITERATIONS=10\n";

// The text with its first occurrence of from replaced by to.
std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string DefaultWith(const std::string& from, const std::string& to)
{
    return Replaced(DefaultText, from, to);
}

// The default file with a player's controller word replaced.
std::string WithMode(int32_t player, const std::string& word)
{
    const std::string section = player == 0 ? "P1]\n" : "P2]\n";
    return DefaultWith(section + "CONTROLER_MODE=KEYBOARD", section + "CONTROLER_MODE=" + word);
}

// The default file cut right after the given text.
std::string DefaultUpTo(const std::string& end)
{
    const std::string text = DefaultText;
    return text.substr(0, text.find(end) + end.size());
}

struct Outcome {
    DisplaySettings display;
    GameSettingsRecord settings = DefaultGameSettings();
};

struct SettingsCase {
    const char* name;
    bool fileExists;
    std::string text;
    uint32_t joystickCount;
    std::function<void(Outcome&)> change;  // what differs from the defaults
};

Outcome ReadText(const SettingsCase& c)
{
    Outcome outcome;
    if (!c.fileExists)
        return outcome;  // as LoadSettings does: no file, no reading
    std::string text = c.text;
    // fmemopen refuses an empty buffer; an empty temporary file stands in.
    FILE* file = text.empty() ? std::tmpfile() : fmemopen(text.data(), text.size(), "r");
    EXPECT_NE(file, nullptr);
    ReadSettingsFile(file, c.joystickCount, outcome.display, outcome.settings);
    std::fclose(file);
    return outcome;
}

void ExpectSameSettings(const GameSettingsRecord& a, const GameSettingsRecord& e)
{
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < ActionCount; ++k) {
            EXPECT_EQ(a.keyCodes[p][k], e.keyCodes[p][k]) << "player " << p << " key " << ActionWords[k];
            EXPECT_EQ(a.joyButtons[p][k], e.joyButtons[p][k]) << "player " << p << " button " << ActionWords[k];
        }
        EXPECT_EQ(a.controllerMode[p], e.controllerMode[p]) << "player " << p;
        EXPECT_EQ(a.useAxis[p], e.useAxis[p]) << "player " << p;
    }
    EXPECT_EQ(a.iterations, e.iterations);
    EXPECT_EQ(a.effectNum, e.effectNum);
    EXPECT_EQ(a.boidLine, e.boidLine);
}

void ExpectSame(const Outcome& actual, const Outcome& expected)
{
    EXPECT_EQ(actual.display.windowed, expected.display.windowed);
    EXPECT_EQ(actual.display.fontName, expected.display.fontName);
    EXPECT_EQ(actual.display.smallFont, expected.display.smallFont);
    EXPECT_EQ(actual.display.middleFont, expected.display.middleFont);
    EXPECT_EQ(actual.display.largeFont, expected.display.largeFont);
    ExpectSameSettings(actual.settings, expected.settings);
}

void NoChange(Outcome&) {}

const std::string CustomText =
    "[VIEW_MODE]\nWINDOWED=0\nBOID_LINE=0\nEFFECT_NUM=3\nFONT_NAME=DejaVu Sans\n"
    "SMALL_FONT=12\nMIDDLE_FONT=24\nLARGE_FONT=48\n"
    "[KEYCONFIG_P1]\nCONTROLER_MODE=JOYSTICK1\n"
    "KEY_LEFT=1\nKEY_RIGHT=2\nKEY_UP=3\nKEY_DOWN=4\nKEY_NEXT=5\n"
    "JOY_LEFT=10\nJOY_RIGHT=11\nJOY_UP=12\nJOY_DOWN=13\nJOY_NEXT=14\nUSE_AXIS=1\n"
    "[KEYCONFIG_P2]\nCONTROLER_MODE=MOUSE\n"
    "KEY_LEFT=6\nKEY_RIGHT=7\nKEY_UP=8\nKEY_DOWN=9\nKEY_NEXT=-1\n"
    "JOY_LEFT=20\nJOY_RIGHT=21\nJOY_UP=22\nJOY_DOWN=23\nJOY_NEXT=24\nUSE_AXIS=7\n"
    "[PHYSICS]\nITERATIONS=3\n";

void CustomValues(Outcome& o)
{
    o.display = {0, "DejaVu Sans", 12, 24, 48};
    GameSettingsRecord& s = o.settings;
    const int32_t keys[2][ActionCount] = {{1, 2, 3, 4, 5}, {6, 7, 8, 9, -1}};
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < ActionCount; ++k) {
            s.keyCodes[p][k] = keys[p][k];
            s.joyButtons[p][k] = 10 * (p + 1) + k;
        }
        s.useAxis[p] = true;
    }
    s.controllerMode[0] = 0;
    s.controllerMode[1] = -2;
    s.boidLine = false;
    s.effectNum = 3;
    s.iterations = 3;
}

void ModeOf(Outcome& o, int32_t player, int32_t mode)
{
    o.settings.controllerMode[player] = mode;
}

const SettingsCase Cases[] = {
    {"MissingFile", false, "", 0, NoChange},
    {"EmptyFile", true, "", 0, NoChange},
    {"DefaultFile", true, DefaultText, 0, NoChange},
    {"EveryValueChanged", true, CustomText, 1, CustomValues},
    {"BlankLinesAndSpaceBeforeValue", true,
     Replaced(DefaultWith("[VIEW_MODE]\nWINDOWED=1\nBOID_LINE=1\n", "[VIEW_MODE]\n\nWINDOWED= 0\n\n\nBOID_LINE=  0\n"),
              "[PHYSICS]\n", "\n[PHYSICS]\n\n"),
     0,
     [](Outcome& o) {
         o.display.windowed = 0;
         o.settings.boidLine = false;
     }},
    // Only a pattern's own white space skips blank lines, and the first pattern begins with "[".
    {"BlankLineAtTheTopStopsEverything", true, std::string("\n") + CustomText, 1, NoChange},
    {"AnyNonZeroWindowedIsKept", true, DefaultWith("WINDOWED=1", "WINDOWED=5"), 0,
     [](Outcome& o) { o.display.windowed = 5; }},
    {"BoidLineOff", true, DefaultWith("BOID_LINE=1", "BOID_LINE=0"), 0,
     [](Outcome& o) { o.settings.boidLine = false; }},
    {"WrongCaseWordIsKeyboard", true, WithMode(0, "Mouse"), 2,
     NoChange},
    {"UnknownWordIsKeyboard", true, WithMode(0, "MOUSEPAD"), 2,
     NoChange},
    {"Mouse", true, WithMode(1, "MOUSE"), 0,
     [](Outcome& o) { ModeOf(o, 1, -2); }},
    {"Joystick1WithoutJoysticks", true, WithMode(0, "JOYSTICK1"),
     0, NoChange},
    {"Joystick1WithOne", true, WithMode(0, "JOYSTICK1"), 1,
     [](Outcome& o) { ModeOf(o, 0, 0); }},
    {"Joystick2WithOne", true, WithMode(1, "JOYSTICK2"), 1,
     NoChange},
    {"Joystick2WithTwo", true, WithMode(1, "JOYSTICK2"), 2,
     [](Outcome& o) { ModeOf(o, 1, 1); }},
    {"MissingModeLineKeepsKeyboardAndReadsKeys", true,
     DefaultWith("CONTROLER_MODE=KEYBOARD\nKEY_LEFT=65", "KEY_LEFT=90"), 1,
     [](Outcome& o) { o.settings.keyCodes[0][LEFT] = 90; }},
    {"FontNameWithSpace", true, DefaultWith("FONT_NAME=Small Fonts\nSMALL_FONT=16", "FONT_NAME=MS Gothic\nSMALL_FONT=12"),
     0,
     [](Outcome& o) {
         o.display.fontName = "MS Gothic";
         o.display.smallFont = 12;
     }},
    // Nothing after "=" leaves the end of that line unread, so every later item fails.
    {"EmptyFontNameStopsTheRest", true, Replaced(CustomText, "FONT_NAME=DejaVu Sans", "FONT_NAME="), 1,
     [](Outcome& o) {
         o.display.windowed = 0;
         o.settings.boidLine = false;
         o.settings.effectNum = 3;
     }},
    {"FileEndsAfterViewMode", true, Replaced(DefaultUpTo("LARGE_FONT=40\n"), "WINDOWED=1", "WINDOWED=0"), 2,
     [](Outcome& o) { o.display.windowed = 0; }},
    // A line whose successor starts with another letter is simply skipped.
    {"MissingEffectNumIsSkipped", true, DefaultWith("EFFECT_NUM=8\nFONT_NAME=Small Fonts", "FONT_NAME=Mono"), 0,
     [](Outcome& o) { o.display.fontName = "Mono"; }},
    // A missing KEY_LEFT eats "KEY_" of KEY_RIGHT, and from there on nothing matches.
    {"MissingKeyLineBreaksTheRest", true, Replaced(CustomText, "KEY_LEFT=1\n", ""), 1,
     [](Outcome& o) {
         Outcome custom;
         CustomValues(custom);
         o.display = custom.display;
         o.settings.boidLine = false;
         o.settings.effectNum = 3;
         ModeOf(o, 0, 0);
     }},
};

void PrintTo(const SettingsCase& c, std::ostream* os)
{
    *os << c.name;
}

class SettingsFileTest : public testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFileTest, ReadsToTheExpectedValues)
{
    Outcome expected;
    GetParam().change(expected);
    ExpectSame(ReadText(GetParam()), expected);
}

INSTANTIATE_TEST_SUITE_P(ConfigTexts, SettingsFileTest, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

// LoadSettings reads config.ini of the working directory through all three
// stages, with no display, joystick or font behind it.
class LoadSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path();
        directory = std::filesystem::temp_directory_path() / ("mirelune_settings_" + std::to_string(getpid()));
        std::filesystem::create_directories(directory);
        std::filesystem::current_path(directory);
        GameSettings = DefaultGameSettings();
    }

    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
        GameSettings = DefaultGameSettings();
    }

    std::filesystem::path previous;
    std::filesystem::path directory;
};

TEST_F(LoadSettingsTest, WithoutConfigIniEverythingIsDefault)
{
    EXPECT_TRUE(LoadSettings());
    ExpectSameSettings(GameSettings, DefaultGameSettings());
}

TEST_F(LoadSettingsTest, ReadsEverySectionOfConfigIni)
{
    FILE* file = std::fopen("config.ini", "w");
    ASSERT_NE(file, nullptr);
    std::fputs(CustomText.c_str(), file);
    std::fclose(file);
    EXPECT_TRUE(LoadSettings());
    Outcome expected;
    CustomValues(expected);
    ModeOf(expected, 0, JoystickCount >= 1 ? 0 : -1);  // JOYSTICK1 as far as one is connected
    ExpectSameSettings(GameSettings, expected.settings);
}

// The config.ini the build generates is exactly the default layout and reads back to the defaults.
TEST(GeneratedConfig, IsTheDefaultFile)
{
    FILE* file = std::fopen(MIRELUNE_RUN_DIR "/config.ini", "r");
    ASSERT_NE(file, nullptr);
    char text[2048] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::rewind(file);
    Outcome outcome;
    ReadSettingsFile(file, 2, outcome.display, outcome.settings);
    std::fclose(file);
    EXPECT_EQ(std::string(text, length), DefaultText);
    ExpectSame(outcome, Outcome{});
}

}  // namespace
