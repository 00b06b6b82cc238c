// The message loop and the scene switch with recording scenes and scripted
// window events; then the real program under the Xvfb of the test run.
#include <gtest/gtest.h>

#include <SDL.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "input/Input.h"
#include "shell/Shell.h"

namespace {

std::vector<std::string> Log;

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// Records every call as "<scene id>.<instance> <call>".
class RecordingScene : public Scene {
public:
    RecordingScene(int32_t id, int32_t instance) : name(std::to_string(id) + "." + std::to_string(instance)), id(id) {}
    ~RecordingScene() override { Log.push_back(name + " destroyed"); }
    void Init(int32_t argument) override { Log.push_back(name + " Init " + std::to_string(argument)); }
    void Draw() override { Log.push_back(name + " Draw"); }
    void Update() override;
    void HandleMessage(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t) override
    {
        Log.push_back(name + " Msg " + Hex(message) + " " + std::to_string(wParam));
    }

    const std::string name;
    const int32_t id;
    int32_t updates = 0;
};

// What a scene does in its Update, by scene id and update count; none by default.
std::function<void(int32_t id, int32_t updates)> OnUpdate;

void RecordingScene::Update()
{
    Log.push_back(name + " Update");
    ++updates;
    if (OnUpdate)
        OnUpdate(id, updates);
}

int32_t instances = 0;

std::unique_ptr<Scene> CreateRecordingScene(int32_t sceneId)
{
    return std::make_unique<RecordingScene>(sceneId, ++instances);
}

// The window's events, one per poll; an empty step is a pass with an empty queue.
using Step = std::optional<Message>;
const Step Gap = std::nullopt;
const Step Close = Message{WM_CLOSE, 0, 0};
std::deque<Step> Script;

bool ScriptedPoll(Message& message)
{
    if (Script.empty()) {
        Log.push_back("script ran out");  // closes the window so that a faulty loop still ends
        message = {WM_CLOSE, 0, 0};
        return true;
    }
    const Step step = Script.front();
    Script.pop_front();
    if (step)
        message = *step;
    return step.has_value();
}

void RecordMusicEvent()
{
    Log.push_back("OnMusicEvent");
}

using Lines = std::vector<std::string>;

// The window closing on scene "1.1": the close chain the scene sees, then its end.
Lines Closing(const std::string& scene)
{
    return {scene + " Msg 0x10 0", scene + " Msg 0x2 0", scene + " Msg 0x12 0", scene + " destroyed"};
}

Lines Joined(Lines lines, const Lines& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

const Lines FirstFrame = {"1.1 Init 0", "1.1 Update", "1.1 Draw"};

class LoopTest : public testing::Test {
protected:
    void SetUp() override
    {
        CreateSceneForId = CreateRecordingScene;
        PollPlatformMessage = ScriptedPoll;
        MusicEventHandler = RecordMusicEvent;
        ClearMessageQueue();
        CurrentScene.reset();
        Log.clear();
        OnUpdate = nullptr;
        instances = 0;
    }

    void TearDown() override
    {
        CreateSceneForId = savedFactory;
        PollPlatformMessage = savedPoll;
        MusicEventHandler = savedMusicHandler;
        ClearMessageQueue();
        SceneRequest = {0, 0};
    }

    // As the program starts: the Menu requested, then the loop until it ends.
    void Run(std::initializer_list<Step> steps)
    {
        Script.assign(steps);
        RequestScene(1, 0);
        RunMessageLoop();
    }

    decltype(CreateSceneForId) savedFactory = CreateSceneForId;
    decltype(PollPlatformMessage) savedPoll = PollPlatformMessage;
    decltype(MusicEventHandler) savedMusicHandler = MusicEventHandler;
};

TEST_F(LoopTest, FirstFrameInitsUpdatesAndDrawsTheMenu)
{
    Run({Gap, Close});
    EXPECT_EQ(Log, Joined(FirstFrame, Closing("1.1")));
}

TEST_F(LoopTest, CloseChainEndsTheLoopAndDestroysTheScene)
{
    Run({Gap, Close, Gap});
    EXPECT_EQ(Log, Joined(FirstFrame, Closing("1.1")));
    EXPECT_EQ(CurrentScene, nullptr);
    EXPECT_EQ(Script.size(), 1u) << "no pass after the quit";
}

TEST_F(LoopTest, RequestDuringUpdateSwitchesAtTheNextFrame)
{
    OnUpdate = [](int32_t id, int32_t updates) {
        if (id == 1 && updates == 1)
            RequestScene(2, 3);
    };
    Run({Gap, Gap, Close});
    EXPECT_EQ(Log, Joined(Joined(FirstFrame, {"1.1 destroyed", "2.2 Init 3", "2.2 Update", "2.2 Draw"}),
                          Closing("2.2")));
}

TEST_F(LoopTest, LastOfTwoRequestsWins)
{
    OnUpdate = [](int32_t id, int32_t updates) {
        if (id == 1 && updates == 1) {
            RequestScene(2, 1);
            RequestScene(1, 7);
        }
    };
    Run({Gap, Gap, Close});
    EXPECT_EQ(Log, Joined(Joined(FirstFrame, {"1.1 destroyed", "1.2 Init 7", "1.2 Update", "1.2 Draw"}),
                          Closing("1.2")));
}

TEST_F(LoopTest, EscapeReachesTheSceneThenQuits)
{
    Run({Gap, Message{WM_KEYDOWN, VK_ESCAPE, 1}, Gap, Gap});
    EXPECT_EQ(Log, Joined(FirstFrame, {"1.1 Msg 0x100 27", "1.1 Msg 0x12 0", "1.1 destroyed"}));
    EXPECT_EQ(Script.size(), 2u) << "no frame after Escape";
}

// Joystick buttons come as WM_KEYDOWN too; button 27 is not the Escape key.
TEST_F(LoopTest, JoystickButton27DoesNotQuit)
{
    Run({Gap, Message{WM_KEYDOWN, 27, JoystickFlag | 1}, Gap, Close});
    EXPECT_EQ(Log, Joined(Joined(FirstFrame, {"1.1 Msg 0x100 27", "1.1 Update", "1.1 Draw"}), Closing("1.1")));
}

TEST_F(LoopTest, MusicEventReachesTheSceneBeforeItsHandler)
{
    Run({Gap, Message{WM_MUSICEVENT, 0, 0}, Close});
    EXPECT_EQ(Log, Joined(Joined(FirstFrame, {"1.1 Msg 0x8001 0", "OnMusicEvent"}), Closing("1.1")));
}

// Posted messages come before the window's events, and frames only run in the gaps.
TEST_F(LoopTest, NoFrameWhileMessagesArePending)
{
    OnUpdate = [](int32_t, int32_t updates) {
        if (updates == 1)
            PostMessage(WM_USER, 5, 0);
    };
    const Message move = {WM_MOUSEMOVE, 0, 0};
    Run({Gap, move, move, Gap, Close});
    EXPECT_EQ(Log, Joined(Lines{"1.1 Init 0", "1.1 Update", "1.1 Draw", "1.1 Msg 0x400 5", "1.1 Msg 0x200 0",
                                "1.1 Msg 0x200 0", "1.1 Update", "1.1 Draw"},
                          Closing("1.1")));
}

// ---------------------------------------------------------------------------
// The SDL binding: events pushed into SDL's queue against the messages they give.

SDL_Event KeyEvent(uint32_t type, SDL_Scancode scancode, SDL_Keycode keycode, uint8_t repeat = 0)
{
    SDL_Event event = {};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = keycode;
    return event;
}

SDL_Event ButtonEvent(uint32_t type, uint8_t button, int32_t x, int32_t y)
{
    SDL_Event event = {};
    event.type = type;
    event.button.type = type;
    event.button.button = button;
    event.button.x = x;
    event.button.y = y;
    return event;
}

SDL_Event MotionEvent(int32_t x, int32_t y)
{
    SDL_Event event = {};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = x;
    event.motion.y = y;
    return event;
}

SDL_Event OtherEvent(uint32_t type, uint8_t windowEvent = 0, int32_t userCode = 0)
{
    SDL_Event event = {};
    event.type = type;
    event.window.event = windowEvent;
    if (type == SDL_USEREVENT)
        event.user.code = userCode;
    return event;
}

struct EventCase {
    const char* name;
    SDL_Event event;
    std::optional<Message> expected;  // none: the event gives no message
    int32_t key;                      // key-state entry the event sets, 0 for none
    bool keyDown;
};

const EventCase EventCases[] = {
    {"LetterKey", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a), Message{WM_KEYDOWN, 'A', 1}, 'A', true},
    {"LetterByLayout", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_Q, SDLK_a), Message{WM_KEYDOWN, 'A', 1}, 'A', true},
    {"NonLatinLetterByPosition", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, 0x444), Message{WM_KEYDOWN, 'A', 1}, 'A',
     true},
    {"DigitByPosition", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_1, '&'), Message{WM_KEYDOWN, '1', 1}, '1', true},
    {"AutoRepeat", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_SPACE, SDLK_SPACE, 1), Message{WM_KEYDOWN, VK_SPACE, 1},
     VK_SPACE, true},
    {"KeyUp", KeyEvent(SDL_KEYUP, SDL_SCANCODE_RETURN, SDLK_RETURN), Message{WM_KEYUP, VK_RETURN, 1}, VK_RETURN,
     false},
    {"Arrow", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_LEFT, SDLK_LEFT), Message{WM_KEYDOWN, VK_LEFT, 1}, VK_LEFT, true},
    {"RightShift", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT), Message{WM_KEYDOWN, VK_SHIFT, 1},
     VK_SHIFT, true},
    {"F2", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_F2, SDLK_F2), Message{WM_KEYDOWN, VK_F2, 1}, VK_F2, true},
    {"Numpad3", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_KP_3, SDLK_KP_3), Message{WM_KEYDOWN, VK_NUMPAD0 + 3, 1},
     VK_NUMPAD0 + 3, true},
    {"Escape", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), Message{WM_KEYDOWN, VK_ESCAPE, 1},
     VK_ESCAPE, true},
    {"UnknownKey", KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK), std::nullopt, 0, false},
    {"LeftButton", ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20),
     Message{WM_LBUTTONDOWN, 0, 10 | (20 << 16)}, VK_LBUTTON, true},
    {"RightButtonUp", ButtonEvent(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 799, 599),
     Message{WM_RBUTTONUP, 0, 799 | (599 << 16)}, VK_RBUTTON, false},
    {"MiddleButton", ButtonEvent(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 1, 1), std::nullopt, 0, false},
    {"Motion", MotionEvent(400, 300), Message{WM_MOUSEMOVE, 0, 400 | (300 << 16)}, 0, false},
    {"Quit", OtherEvent(SDL_QUIT), Message{WM_CLOSE, 0, 0}, 0, false},
    {"WindowClose", OtherEvent(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE), Message{WM_CLOSE, 0, 0}, 0, false},
    {"WindowMoved", OtherEvent(SDL_WINDOWEVENT, SDL_WINDOWEVENT_MOVED), std::nullopt, 0, false},
    {"MusicFinished", OtherEvent(SDL_USEREVENT, 0, 0x8001), Message{WM_MUSICEVENT, 0, 0}, 0, false},
    {"OtherUserEvent", OtherEvent(SDL_USEREVENT, 0, 7), std::nullopt, 0, false},
};

void PrintTo(const EventCase& c, std::ostream* os)
{
    *os << c.name;
}

class EventBindingTest : public testing::TestWithParam<EventCase> {
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        windowMade = CreateMainWindow();
    }
    static bool windowMade;
};

bool EventBindingTest::windowMade = false;

TEST_P(EventBindingTest, GivesItsMessage)
{
    ASSERT_TRUE(windowMade);
    const EventCase& c = GetParam();
    ClearMessageQueue();
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SetKeyDown(c.key, !c.keyDown);
    SetCursorClientPosition(-1, -1);
    SDL_Event event = c.event;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    Message message = {};
    ASSERT_EQ(PeekMessage(message), c.expected.has_value());
    if (!c.expected)
        return;
    EXPECT_EQ(Hex(message.message), Hex(c.expected->message));
    EXPECT_EQ(message.wParam, c.expected->wParam);
    EXPECT_EQ(message.lParam, c.expected->lParam);
    if (c.key != 0)
        EXPECT_EQ(IsKeyDown(c.key), c.keyDown);
    if (c.event.type == SDL_MOUSEMOTION || c.event.type == SDL_MOUSEBUTTONDOWN || c.event.type == SDL_MOUSEBUTTONUP) {
        EXPECT_EQ(CursorClientPosition().x, c.expected->lParam & 0xFFFF);
        EXPECT_EQ(CursorClientPosition().y, c.expected->lParam >> 16);
    }
}

INSTANTIATE_TEST_SUITE_P(SdlEvents, EventBindingTest, testing::ValuesIn(EventCases),
                         [](const testing::TestParamInfo<EventCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// The real program.

struct Exit {
    bool ended;
    int status;  // exit status when it ended normally, else -1
};

// Starts the game in the run directory with the environment changed as given.
pid_t StartGame(const std::vector<std::pair<const char*, const char*>>& environment, int stderrFd)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    if (chdir(MIRELUNE_RUN_DIR) != 0)
        _exit(127);
    for (const auto& [name, value] : environment)
        value ? setenv(name, value, 1) : unsetenv(name);
    if (stderrFd >= 0)
        dup2(stderrFd, STDERR_FILENO);
    execl(MIRELUNE_BINARY, MIRELUNE_BINARY, static_cast<char*>(nullptr));
    _exit(127);
}

Exit WaitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return {true, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {false, -1};
}

void Kill(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string CommandOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    pclose(pipe);
    return output;
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// How the player ends a running game.
struct Ending {
    const char* name;
    void (*send)(pid_t pid, const std::string& window);
};

void PressEscape(pid_t, const std::string& window)
{
    CommandOutput("xdotool windowfocus --sync " + window + " key Escape 2>/dev/null");
}

// SDL turns the termination signal into its quit event, the same close request as the close box.
void Terminate(pid_t pid, const std::string&)
{
    kill(pid, SIGTERM);
}

void PrintTo(const Ending& ending, std::ostream* os)
{
    *os << ending.name;
}

class ProgramEndTest : public testing::TestWithParam<Ending> {};

TEST_P(ProgramEndTest, ShowsItsWindowThenEndsWithStatusZero)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs the X display of the test run";
    const pid_t pid = StartGame({{"SDL_VIDEODRIVER", "x11"}, {"SDL_AUDIODRIVER", "dummy"}}, -1);
    const std::string window =
        CommandOutput("timeout 30 xdotool search --sync --onlyvisible --all --pid " + std::to_string(pid) +
                      " --name '^MIRELUNE$' 2>/dev/null | head -n 1 | tr -d '\\n'");
    if (window.empty())
        Kill(pid);
    ASSERT_FALSE(window.empty()) << "no visible window titled MIRELUNE";
    const std::string hints = CommandOutput("xprop -id " + window + " WM_NORMAL_HINTS");
    EXPECT_NE(hints.find("minimum size: 800 by 600"), std::string::npos) << hints;
    EXPECT_NE(hints.find("maximum size: 800 by 600"), std::string::npos) << hints;
    // A key pressed before the window has the focus may be lost: try again until it ends.
    Exit exit = {false, -1};
    for (int attempt = 0; attempt < 5 && !exit.ended; ++attempt) {
        GetParam().send(pid, window);
        exit = WaitForExit(pid, std::chrono::seconds(3));
    }
    if (!exit.ended)
        Kill(pid);
    EXPECT_TRUE(exit.ended) << "the program did not end";
    EXPECT_EQ(exit.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Endings, ProgramEndTest,
                         testing::Values(Ending{"Escape", PressEscape}, Ending{"CloseRequest", Terminate}),
                         [](const testing::TestParamInfo<Ending>& info) { return info.param.name; });

struct FailedStart {
    const char* name;
    std::vector<std::pair<const char*, const char*>> environment;
};

void PrintTo(const FailedStart& start, std::ostream* os)
{
    *os << start.name;
}

class ProgramStartTest : public testing::TestWithParam<FailedStart> {};

// A start-up the user has to fix is one line on stderr and a failure status.
TEST_P(ProgramStartTest, FailsWithOneLine)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = StartGame(GetParam().environment, fds[1]);
    close(fds[1]);
    const Exit exit = WaitForExit(pid, std::chrono::seconds(20));
    if (!exit.ended)
        Kill(pid);
    const std::string text = ReadAll(fds[0]);
    close(fds[0]);
    ASSERT_TRUE(exit.ended);
    EXPECT_NE(exit.status, 0);
    EXPECT_EQ(text.rfind("mirelune: ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Environments, ProgramStartTest,
    testing::Values(FailedStart{"NoDisplay", {{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", nullptr},
                                              {"SDL_VIDEODRIVER", nullptr}, {"SDL_AUDIODRIVER", "dummy"}}},
                    FailedStart{"DriverWithoutOpenGl", {{"SDL_VIDEODRIVER", "dummy"}, {"SDL_AUDIODRIVER", "dummy"}}},
                    FailedStart{"NoOpenGl33", {{"SDL_VIDEODRIVER", "offscreen"}, {"SDL_AUDIODRIVER", "dummy"},
                                               {"MESA_GL_VERSION_OVERRIDE", "3.1"}}}),
    [](const testing::TestParamInfo<FailedStart>& info) { return info.param.name; });

}  // namespace
