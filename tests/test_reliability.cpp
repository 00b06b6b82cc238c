// Bad input, missing parts and long play: the fuzzers' regression inputs, a
// soak of many demonstration matches, the real program without its files and
// devices or with extreme settings, and a high score that survives its writer
// being killed.
#include <gtest/gtest.h>

#include <SDL.h>

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../fuzz/FuzzInputs.h"
#include "game/Game.h"
#include "input/Input.h"
#include "render/Render.h"
#include "shell/Shell.h"

#if defined(__SANITIZE_ADDRESS__)
#define SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANITIZED_BUILD 1
#endif
#endif
#ifdef SANITIZED_BUILD
// The sanitizer runtime's count of live heap bytes (gcc ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string ReadText(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> FileNames(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A count from the environment (the long runs on demand), else the fallback.
int32_t EnvironmentCount(const char* name, int32_t fallback)
{
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

// A fresh empty directory, removed with everything in it at the end.
struct TemporaryDirectory {
    fs::path path;
    TemporaryDirectory()
    {
        std::string pattern = (fs::temp_directory_path() / "mirelune-reliability-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TemporaryDirectory()
    {
        std::error_code error;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path, error);
    }
};

struct WorkingDirectory {
    fs::path previous = fs::current_path();
    explicit WorkingDirectory(const fs::path& path) { fs::current_path(path); }
    ~WorkingDirectory() { fs::current_path(previous); }
};

// The game's throttles read the millisecond clock; a clock moved by the frames
// keeps unpaced runs the same from one run to the next.
uint32_t frameClock = 0;
uint32_t FrameClock()
{
    return frameClock * 1000 / 60;
}

// One frame of the loop with an empty message queue.
void RunFrame()
{
    StepScene();
    if (CurrentScene)
        CurrentScene->Draw();
    ++frameClock;
}

class HeadlessTest : public testing::Test {
protected:
    void SetUp() override
    {
        GameSettings = DefaultGameSettings();
        ClearKeyStates();
        ClockSource = FrameClock;
        RandomSource = nullptr;
        SeedRandom(20240611);
        SceneRequest = {0, 0};
    }
    void TearDown() override
    {
        CurrentScene.reset();
        SceneRequest = {0, 0};
        ClockSource = nullptr;
        ClearKeyStates();
        GameSettings = DefaultGameSettings();
    }
    // Enters the Game scene in a mode, as the menu does.
    Game& StartGame(int32_t mode)
    {
        RequestScene(2, mode);
        RunFrame();
        return *static_cast<Game*>(CurrentScene.get());
    }
};

// ---------------------------------------------------------------------------
// Inputs the fuzzers found or that stand at the edges of the formats, kept in
// the fixtures, and the game's own generated files, through the fuzzers' readers.

struct ReaderCase {
    const char* name;
    const char* folder;                     // in the fixtures
    std::vector<const char*> generated;     // in the run directory
    const char* (*read)(const uint8_t* data, size_t size);
};

void PrintTo(const ReaderCase& c, std::ostream* os)
{
    *os << c.name;
}

const ReaderCase ReaderCases[] = {
    {"ConfigIni", "config-ini", {"config.ini"}, ReadConfigInput},
    {"ScoreDat", "score-dat", {}, ReadScoreInput},
    {"Dds", "dds", {"bubble.dds"}, ReadDdsInput},
    {"Images", "images", {"special.png", "mask.bmp", "icon.png"}, ReadImageInput},
};

class KeptInputTest : public testing::TestWithParam<ReaderCase> {};

TEST_P(KeptInputTest, EveryInputReadsCleanly)
{
    const ReaderCase& c = GetParam();
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(MIRELUNE_FIXTURES) / c.folder))
        inputs.push_back(entry.path());
    ASSERT_FALSE(inputs.empty()) << "no kept inputs in " << c.folder;
    for (const char* name : c.generated)
        inputs.push_back(fs::path(MIRELUNE_RUN_DIR) / name);
    for (const fs::path& input : inputs) {
        const std::string bytes = ReadText(input);
        const char* problem = c.read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        EXPECT_EQ(problem, nullptr) << input << ": " << problem;
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, KeptInputTest, testing::ValuesIn(ReaderCases),
                         [](const testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The demonstration played match after match, headless and unpaced: under the
// sanitizers any error or leak fails the run; here the world and the heap must
// come back to the same size at the start of every match.

// Bytes the allocator has handed out and not yet taken back.
size_t HeapInUse()
{
#ifdef SANITIZED_BUILD
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd;  // the arenas' chunks and the blocks mapped on their own
#endif
}

struct MatchStart {
    int32_t bodies;
    size_t blocks;
    size_t heap;
};

using DemoSoakTest = HeadlessTest;

TEST_F(DemoSoakTest, MatchAfterMatchStartsFromTheSameWorldAndHeap)
{
    const int32_t matches = EnvironmentCount("SOAK_MATCHES", 50);
    constexpr uint32_t FrameLimit = 40000;  // far beyond the longest match
    constexpr size_t HeapGrowthLimit = 1 << 20;
    TemporaryDirectory dir;
    WorkingDirectory inDir(dir.path);
    Game& game = StartGame(3);
    std::vector<MatchStart> starts;
    uint32_t matchFrames = 0;
    uint32_t previousGameOver = 0;
    while (static_cast<int32_t>(starts.size()) < matches) {
        RunFrame();
        ASSERT_EQ(CurrentScene.get(), &game) << "the demonstration left its scene";
        ASSERT_LT(++matchFrames, FrameLimit) << "match " << starts.size() + 1 << " did not end";
        if (previousGameOver != 0 && game.gameOverFrame == 0) {  // StepMatchEnd reset the match
            starts.push_back({game.world->GetBodyCount(), game.blocks.size(), HeapInUse()});
            matchFrames = 0;
        }
        previousGameOver = game.gameOverFrame;
    }
    EXPECT_TRUE(FileNames(dir.path).empty()) << "the demonstration wrote a file";
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(starts[i].blocks, 0u) << "match " << i + 2;
        EXPECT_EQ(starts[i].bodies, starts[0].bodies) << "match " << i + 2;
        // The first match grows the physics allocators to their working size; after it nothing may grow.
        EXPECT_LE(starts[i].heap, starts[std::min<size_t>(i, 1)].heap + HeapGrowthLimit) << "match " << i + 2;
    }
}

// ---------------------------------------------------------------------------
// A joystick unplugged in a match: the player steers on with the keyboard.

// Without and with the stick steering the piece.
class UnpluggedJoystickTest : public HeadlessTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnpluggedJoystickTest, ThePlayerFallsBackToTheKeyboard)
{
    const bool useAxis = GetParam();
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    const int32_t device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 16, 1);
    ASSERT_GE(device, 0) << SDL_GetError();
    SDL_Joystick* stick = SDL_JoystickOpen(device);  // the test's own handle, to press its buttons
    ASSERT_TRUE(OpenInputDevices());
    ASSERT_EQ(JoystickCount, 1u);
    GameSettings.controllerMode[0] = 0;
    GameSettings.useAxis[0] = useAxis;
    Game& game = StartGame(0);
    while (game.frame < PlayStartFrame + 40)
        RunFrame();
    auto moved = [&game] {  // how far player 1's piece goes in one frame
        const float x = game.currentPiece[0]->GetPosition().x;
        RunFrame();
        return game.currentPiece[0]->GetPosition().x - x;
    };
    if (useAxis)
        SDL_JoystickSetVirtualAxis(stick, 0, SDL_JOYSTICK_AXIS_MIN);
    else
        SDL_JoystickSetVirtualButton(stick, GameSettings.joyButtons[0][LEFT], SDL_PRESSED);
    EXPECT_LT(moved(), -0.5f) << "the joystick does not steer";
    SDL_JoystickDetachVirtual(device);
    EXPECT_NEAR(moved(), 0.0f, 1e-3) << "the lost joystick still holds its button";
    SetKeyDown('A', true);
    EXPECT_LT(moved(), -0.5f) << "the keyboard does not take over";
    SetKeyDown('A', false);
    const uint32_t firstPiece = game.lastNextFrame[0];
    for (int32_t frame = 0; frame < 600; ++frame) {
        SetKeyDown(VK_SPACE, frame % 60 == 0);
        RunFrame();
    }
    EXPECT_GT(game.lastNextFrame[0], firstPiece) << "NEXT on the keyboard gives no new piece";
    SDL_JoystickClose(stick);
    CloseInputDevices();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

INSTANTIATE_TEST_SUITE_P(Steering, UnpluggedJoystickTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByStick" : "ByButtons"; });

// ---------------------------------------------------------------------------
// An unwritable working directory: the beaten record holds in the running
// scene, the old file stays as it was and nothing is said about it.

// Root writes anywhere; with a plain user's rights the directory really is read-only.
struct UnprivilegedRights {
    bool dropped = geteuid() == 0 && setegid(65534) == 0 && seteuid(65534) == 0;
    ~UnprivilegedRights()
    {
        if (dropped && seteuid(0) == 0)
            setegid(0);
    }
};

// Everything the process writes to stderr while it lives.
struct StderrCapture {
    FILE* file = std::tmpfile();
    int saved = dup(STDERR_FILENO);
    StderrCapture() { dup2(fileno(file), STDERR_FILENO); }
    std::string Text()
    {
        std::fflush(stderr);
        std::string text(static_cast<size_t>(lseek(fileno(file), 0, SEEK_END)), '\0');
        pread(fileno(file), text.data(), text.size(), 0);
        return text;
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        std::fclose(file);
    }
};

using UnwritableDirectoryTest = HeadlessTest;

TEST_F(UnwritableDirectoryTest, TheBeatenRecordHoldsInTheRunningScene)
{
    TemporaryDirectory dir;
    WriteText(dir.path / "score.dat", "500");
    fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                  fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    WorkingDirectory inDir(dir.path);
    UnprivilegedRights rights;
    const int probe = open("probe", O_WRONLY | O_CREAT, 0644);
    if (probe >= 0)
        close(probe);
    ASSERT_LT(probe, 0) << "the directory could not be made unwritable";
    StderrCapture errors;
    Game& game = StartGame(2);
    EXPECT_EQ(game.highScore, 500u);
    game.score = 1234;
    for (uint32_t frame = 0; frame < 20000 && !game.resultsShown; ++frame)
        RunFrame();
    ASSERT_TRUE(game.resultsShown) << "the single-player game did not end";
    EXPECT_EQ(game.highScore, 1234u);
    EXPECT_EQ(ReadText("score.dat"), "500");
    EXPECT_EQ(FileNames("."), std::set<std::string>{"score.dat"});
    EXPECT_EQ(errors.Text(), "");
}

// ---------------------------------------------------------------------------
// score.dat while its writer is killed at random moments: always the old or the
// new record, and at most the one temporary file left behind.

std::string RecordText(uint32_t score)
{
    return std::to_string(static_cast<int32_t>(score));
}

// A child that writes the record over and over until it is killed.
pid_t StartWriter(const std::string& path, uint32_t score, bool once)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    do
        WriteHighScore(path.c_str(), score);
    while (!once);
    _exit(0);
}

// How long a child takes from its fork to one whole write: the middle of a few runs.
std::chrono::microseconds WriterTime(const std::string& path)
{
    std::vector<std::chrono::microseconds> times;
    for (int32_t i = 0; i < 5; ++i) {
        const Clock::time_point start = Clock::now();
        waitpid(StartWriter(path, 1, true), nullptr, 0);
        times.push_back(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

TEST(ScoreFileTest, AKilledWriterLeavesTheOldOrTheNewRecord)
{
    TemporaryDirectory dir;
    const std::string path = (dir.path / "score.dat").string();
    const std::set<std::string> expectedFiles[] = {{"score.dat"}, {"score.dat", "score.dat.tmp"}};
    const std::chrono::microseconds writeTime = WriterTime(path);
    std::mt19937 random(7);
    std::uniform_int_distribution<int64_t> delay(0, 2 * writeTime.count());
    uint32_t record = 1;
    int32_t kept = 0;
    int32_t replaced = 0;
    for (int32_t round = 0; round < 200; ++round) {
        const uint32_t next = random();
        const pid_t writer = StartWriter(path, next, false);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        const std::string text = ReadText(path);
        ASSERT_TRUE(text == RecordText(record) || text == RecordText(next))
            << "round " << round << ": \"" << text << "\" between " << record << " and " << next;
        if (text == RecordText(next)) {
            record = next;
            ++replaced;
        } else {
            ++kept;
        }
        const std::set<std::string> files = FileNames(dir.path);
        ASSERT_TRUE(files == expectedFiles[0] || files == expectedFiles[1]) << "round " << round;
    }
    EXPECT_GT(kept, 0) << "no writer was killed before its write was done";
    EXPECT_GT(replaced, 0) << "no writer finished a write";
    ASSERT_TRUE(WriteHighScore(path.c_str(), 7));
    EXPECT_EQ(FileNames(dir.path), expectedFiles[0]) << "a whole write takes the leftover temporary file with it";
}

// ---------------------------------------------------------------------------
// The real program under the X display of the test run.

using Environment = std::vector<std::pair<const char*, const char*>>;
const Environment WindowEnvironment = {{"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "dummy"}};

// The first line a shell command prints, without its line end.
std::string FirstLineOf(const std::string& command)
{
    char line[256] = "";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe) {
        if (!std::fgets(line, sizeof line, pipe))
            line[0] = '\0';
        pclose(pipe);
    }
    return std::string(line, std::strcspn(line, "\n"));
}

// The program started in a directory; killed at the end if it is still running.
class RunningProgram {
public:
    RunningProgram(const fs::path& dir, const Environment& environment)
    {
        const int errors = fileno(errorFile);
        pid = fork();
        if (pid != 0)
            return;
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        for (const auto& [name, value] : environment)
            setenv(name, value, 1);
        dup2(errors, STDERR_FILENO);
        execl(MIRELUNE_BINARY, MIRELUNE_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    ~RunningProgram()
    {
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::fclose(errorFile);
    }

    // The visible window titled MIRELUNE, or false when none shows in time.
    bool WaitForWindow()
    {
        window = FirstLineOf("timeout 90 xdotool search --sync --onlyvisible --all --pid " + std::to_string(pid) +
                             " --name '^MIRELUNE$' 2>/dev/null");
        return !window.empty();
    }

    // False once the program has ended, by itself or otherwise.
    bool Running()
    {
        if (!ended && waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        return !ended;
    }

    // Lets the program run; false when it ends before the time is up.
    bool RunsFor(std::chrono::milliseconds time)
    {
        const Clock::time_point end = Clock::now() + time;
        while (Clock::now() < end) {
            if (!Running())
                return false;
            std::this_thread::sleep_for(100ms);
        }
        return Running();
    }

    // Escape sent to the window itself, again while the program goes on; its exit status, -1 if none.
    int EndWithEscape()
    {
        for (int32_t attempt = 0; attempt < 10 && Running(); ++attempt) {
            std::system(("xdotool key --window " + window + " Escape 2>/dev/null").c_str());
            const Clock::time_point end = Clock::now() + 6s;
            while (Clock::now() < end && Running())
                std::this_thread::sleep_for(50ms);
        }
        return !Running() && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // What the program wrote to stderr so far.
    std::string Errors()
    {
        std::fflush(errorFile);
        std::string text(static_cast<size_t>(lseek(fileno(errorFile), 0, SEEK_END)), '\0');
        pread(fileno(errorFile), text.data(), text.size(), 0);
        return text;
    }

    // VmRSS of /proc/<pid>/status, in kB.
    long ResidentKilobytes() const
    {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0)
                return std::atol(line.c_str() + 6);
        }
        return -1;
    }

private:
    FILE* errorFile = std::tmpfile();
    pid_t pid = -1;
    int status = 0;
    bool ended = false;
    std::string window;
};

bool HasDisplay()
{
    return std::getenv("DISPLAY") != nullptr;
}

// Runs the program in dir for a while after its window shows, then ends it with Escape.
void ExpectCleanRun(const fs::path& dir, const Environment& environment, std::chrono::milliseconds time)
{
    RunningProgram program(dir, environment);
    ASSERT_TRUE(program.WaitForWindow()) << "no visible window titled MIRELUNE\n" << program.Errors();
    EXPECT_TRUE(program.RunsFor(time)) << "the program ended by itself\n" << program.Errors();
    EXPECT_EQ(program.EndWithEscape(), 0) << program.Errors();
    EXPECT_EQ(program.Errors(), "");
}

// Left idle, the menu starts the demonstration after ten seconds.
constexpr std::chrono::milliseconds IntoTheDemonstration = 20s;

TEST(MissingPartsTest, AnEmptyWorkingDirectoryPlaysSilentAndUntextured)
{
    if (!HasDisplay())
        GTEST_SKIP() << "needs the X display of the test run";
    TemporaryDirectory dir;
    ExpectCleanRun(dir.path, WindowEnvironment, IntoTheDemonstration);
    EXPECT_TRUE(FileNames(dir.path).empty()) << "the program wrote a file";
}

TEST(MissingPartsTest, WithoutAnAudioDeviceThePlayIsSilent)
{
    if (!HasDisplay())
        GTEST_SKIP() << "needs the X display of the test run";
    ExpectCleanRun(MIRELUNE_RUN_DIR, {{"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "nonexistent"}},
                   IntoTheDemonstration);
}

// ---------------------------------------------------------------------------
// config.ini with values far outside their sense: the program starts, plays
// and ends as usual.

struct ExtremeCase {
    const char* name;
    std::string from;  // in the generated config.ini
    std::string to;
    std::chrono::milliseconds time;  // long enough to reach what the value changes
};

void PrintTo(const ExtremeCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string FontLines = "SMALL_FONT=16\nMIDDLE_FONT=32\nLARGE_FONT=40";

const ExtremeCase ExtremeCases[] = {
    {"EffectNumMinusOne", "EFFECT_NUM=8", "EFFECT_NUM=-1", IntoTheDemonstration + 10s},
    {"EffectNumBillion", "EFFECT_NUM=8", "EFFECT_NUM=1000000000", IntoTheDemonstration + 10s},
    {"IterationsZero", "ITERATIONS=10", "ITERATIONS=0", 4s},
    {"IterationsMillion", "ITERATIONS=10", "ITERATIONS=1000000", 4s},
    {"FontHeightsZero", FontLines, "SMALL_FONT=0\nMIDDLE_FONT=0\nLARGE_FONT=0", 4s},
    {"FontHeightsMillion", FontLines, "SMALL_FONT=1000000\nMIDDLE_FONT=1000000\nLARGE_FONT=1000000", 4s},
    {"JoyButton500", "CONTROLER_MODE=KEYBOARD\nKEY_LEFT=65\nKEY_RIGHT=68\nKEY_UP=87\nKEY_DOWN=83\nKEY_NEXT=32\nJOY_LEFT=0",
     "CONTROLER_MODE=JOYSTICK1\nKEY_LEFT=65\nKEY_RIGHT=68\nKEY_UP=87\nKEY_DOWN=83\nKEY_NEXT=32\nJOY_LEFT=500", 4s},
    {"FontName100kB", "FONT_NAME=Small Fonts", "FONT_NAME=" + std::string(100000, 'W'), 4s},
};

class ExtremeSettingsTest : public testing::TestWithParam<ExtremeCase> {};

TEST_P(ExtremeSettingsTest, TheProgramRunsAndEndsAsUsual)
{
    if (!HasDisplay())
        GTEST_SKIP() << "needs the X display of the test run";
    const ExtremeCase& c = GetParam();
    TemporaryDirectory dir;
    for (const fs::directory_entry& entry : fs::directory_iterator(MIRELUNE_RUN_DIR))
        fs::copy(entry.path(), dir.path / entry.path().filename());
    std::string text = ReadText(dir.path / "config.ini");
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    WriteText(dir.path / "config.ini", text.replace(at, c.from.size(), c.to));
    ExpectCleanRun(dir.path, WindowEnvironment, c.time);
}

INSTANTIATE_TEST_SUITE_P(ConfigIni, ExtremeSettingsTest, testing::ValuesIn(ExtremeCases),
                         [](const testing::TestParamInfo<ExtremeCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Minutes of the demonstration in the real window: after the first match the
// resident memory stays where the first match took it.

TEST(WindowSoakTest, ResidentMemoryDoesNotGrowFromMatchToMatch)
{
#ifdef SANITIZED_BUILD
    GTEST_SKIP() << "the sanitizers hold freed memory back by design";
#endif
    if (!HasDisplay())
        GTEST_SKIP() << "needs the X display of the test run";
    const auto duration = std::chrono::seconds(EnvironmentCount("SOAK_SECONDS", 210));
    constexpr auto FirstMatch = 130s;  // the menu's idle time and one match of about 105 s
    constexpr long GrowthLimit = 3 * 1024;
    RunningProgram program(MIRELUNE_RUN_DIR, WindowEnvironment);
    ASSERT_TRUE(program.WaitForWindow()) << program.Errors();
    const Clock::time_point start = Clock::now();
    long firstPeak = 0;
    long laterPeak = 0;
    std::ostringstream samples;
    while (Clock::now() - start < std::max<std::chrono::seconds>(duration, FirstMatch + 30s)) {
        ASSERT_TRUE(program.RunsFor(5s)) << "the program ended by itself\n" << program.Errors();
        const long resident = program.ResidentKilobytes();
        const bool inFirstMatch = Clock::now() - start < FirstMatch;
        long& peak = inFirstMatch ? firstPeak : laterPeak;
        peak = std::max(peak, resident);
        samples << resident << (inFirstMatch ? " " : "* ");
    }
    EXPECT_EQ(program.EndWithEscape(), 0) << program.Errors();
    std::printf("VmRSS in kB every 5 s (* after the first match): %s\n", samples.str().c_str());
    EXPECT_LE(laterPeak - firstPeak, GrowthLimit);
}

}  // namespace
