// The input layer: key and mouse queries, the bindings' meaning, and the joysticks
// through SDL's virtual joysticks.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <vector>

#include "input/Input.h"
#include "shell/Shell.h"

namespace {

class InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GameSettings = DefaultGameSettings();
        ClearKeyStates();
    }
    void TearDown() override
    {
        ClearKeyStates();
        GameSettings = DefaultGameSettings();
    }
};

TEST_F(InputTest, CursorMapsTheBackBufferCentreOntoTheCameraAxis)
{
    struct Case {
        int32_t x, y;
        float worldX, worldY;
    };
    const Case cases[] = {
        {400, 300, 0.0f, 10.0f},
        {800, 600, 27.614237f, -10.710678f},
        {0, 0, -27.614237f, 30.710678f},
        {400, 0, 0.0f, 30.710678f},
    };
    for (const Case& c : cases) {
        SetCursorClientPosition(c.x, c.y);
        const b2Vec2 world = CursorWorldPosition();
        EXPECT_NEAR(world.x, c.worldX, 1e-4) << c.x << "," << c.y;
        EXPECT_NEAR(world.y, c.worldY, 1e-4) << c.x << "," << c.y;
    }
}

TEST_F(InputTest, MouseButtonsComeFromTheKeyStateTable)
{
    EXPECT_FALSE(IsMouseButtonDown(VK_LBUTTON));
    SetKeyDown(VK_LBUTTON, true);
    EXPECT_TRUE(IsMouseButtonDown(VK_LBUTTON));
    EXPECT_FALSE(IsMouseButtonDown(VK_RBUTTON));
    SetKeyDown(VK_RBUTTON, true);
    EXPECT_TRUE(IsMouseButtonDown(VK_RBUTTON));
}

TEST_F(InputTest, ActionsReadThePlayersOwnKeysInEveryMode)
{
    SetKeyDown('A', true);
    EXPECT_TRUE(IsActionDown(0, LEFT));
    EXPECT_FALSE(IsActionDown(1, LEFT));
    EXPECT_FALSE(IsActionDown(0, RIGHT));
    GameSettings.controllerMode[0] = 0;  // a joystick that does not exist: the keys still count
    EXPECT_TRUE(IsActionDown(0, LEFT));
    SetKeyDown(VK_RETURN, true);
    EXPECT_TRUE(IsActionDown(1, NEXT));
}

TEST_F(InputTest, AJoystickBelongsToThePlayerBoundToIt)
{
    struct Case {
        int32_t mode0, mode1, joystick, player;
    };
    const Case cases[] = {
        {-1, -1, 0, -1}, {0, -1, 0, 0}, {-1, 0, 0, 1}, {0, 0, 0, 1},
        {1, 0, 1, 0},    {0, 1, 1, 1},  {-2, -1, 0, -1}, {0, 1, -1, -1},
    };
    for (const Case& c : cases) {
        GameSettings.controllerMode[0] = c.mode0;
        GameSettings.controllerMode[1] = c.mode1;
        EXPECT_EQ(ControlledPlayer(c.joystick), c.player) << c.mode0 << " " << c.mode1 << " " << c.joystick;
    }
}

TEST_F(InputTest, WithoutJoysticksNothingIsPressedAndNothingIsRead)
{
    for (int32_t button : {-1, 0, 127, 128, 100000})
        EXPECT_EQ(JoystickButton(0, button), 0);
    EXPECT_EQ(JoystickButton(-1, 0), 0);
    EXPECT_EQ(JoystickButton(2, 0), 0);
}

// ---------------------------------------------------------------------------
// Joysticks.

struct Received {
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    int32_t lX, lY;
};

// Stands in for the current scene and keeps what the poll sends.
class RecordingScene : public Scene {
public:
    std::vector<Received> messages;
    void Init(int32_t) override {}
    void Draw() override {}
    void Update() override {}
    void HandleMessage(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t lParam) override
    {
        Received r = {message, wParam, lParam, 0, 0};
        if (message == WM_USER) {
            const auto* state = reinterpret_cast<const JoystickStateRecord*>(lParam);
            r.lX = state->lX;
            r.lY = state->lY;
        }
        messages.push_back(r);
    }
    std::vector<Received> Keys() const
    {
        std::vector<Received> keys;
        for (const Received& r : messages) {
            if (r.message == WM_KEYDOWN || r.message == WM_KEYUP)
                keys.push_back(r);
        }
        return keys;
    }
};

class JoystickTest : public InputTest {
protected:
    RecordingScene* scene = nullptr;
    std::vector<SDL_Joystick*> handles;  // the test's own handles, to move the virtual controls

    void SetUp() override
    {
        InputTest::SetUp();
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        auto recording = std::make_unique<RecordingScene>();
        scene = recording.get();
        CurrentScene = std::move(recording);
    }
    void TearDown() override
    {
        CloseInputDevices();
        for (SDL_Joystick* handle : handles)
            SDL_JoystickClose(handle);
        for (int32_t device = SDL_NumJoysticks() - 1; device >= 0; --device) {
            if (SDL_JoystickIsVirtual(device))
                SDL_JoystickDetachVirtual(device);
        }
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        CurrentScene.reset();
        InputTest::TearDown();
    }
    // Attaches a virtual joystick with two axes, 16 buttons and 2 hats; returns its handle.
    SDL_Joystick* Attach()
    {
        const int32_t device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 16, 2);
        EXPECT_GE(device, 0) << SDL_GetError();
        SDL_Joystick* handle = SDL_JoystickOpen(device);
        EXPECT_NE(handle, nullptr) << SDL_GetError();
        handles.push_back(handle);
        return handle;
    }
    void Poll()
    {
        scene->messages.clear();
        PollJoysticks();
    }
};

TEST_F(JoystickTest, AtMostTwoJoysticksAreOpened)
{
    Attach();
    Attach();
    Attach();
    ASSERT_TRUE(OpenInputDevices());
    EXPECT_EQ(JoystickCount, 2u);
}

TEST_F(JoystickTest, EveryPollSendsTheStateWithScaledAxes)
{
    SDL_Joystick* stick = Attach();
    ASSERT_TRUE(OpenInputDevices());
    ASSERT_EQ(JoystickCount, 1u);
    struct Case {
        int16_t x, y;
        int32_t lX, lY;
    };
    const Case cases[] = {{0, 0, 0, 0}, {32767, -32768, 1000, -1000}, {-32768, 32767, -1000, 1000}, {16384, 360, 500, 11}};
    for (const Case& c : cases) {
        SDL_JoystickSetVirtualAxis(stick, 0, c.x);
        SDL_JoystickSetVirtualAxis(stick, 1, c.y);
        Poll();
        ASSERT_EQ(scene->messages.size(), 1u);
        const Received& r = scene->messages[0];
        EXPECT_EQ(r.message, WM_USER);
        EXPECT_EQ(r.wParam, 0u);
        EXPECT_EQ(r.lParam, reinterpret_cast<intptr_t>(&JoystickState[0]));
        EXPECT_EQ(r.lX, c.lX) << c.x;
        EXPECT_EQ(r.lY, c.lY) << c.y;
    }
}

TEST_F(JoystickTest, HatsBecomeButtonsAndAngles)
{
    struct Case {
        uint8_t hat;
        uint32_t angle;
        bool up, right, down, left;
    };
    const Case cases[] = {
        {SDL_HAT_UP, 0, true, false, false, false},
        {SDL_HAT_RIGHTUP, 4500, true, true, false, false},
        {SDL_HAT_RIGHT, 9000, false, true, false, false},
        {SDL_HAT_RIGHTDOWN, 13500, false, true, true, false},
        {SDL_HAT_DOWN, 18000, false, false, true, false},
        {SDL_HAT_LEFTDOWN, 22500, false, false, true, true},
        {SDL_HAT_LEFT, 27000, false, false, false, true},
        {SDL_HAT_LEFTUP, 31500, true, false, false, true},
        {SDL_HAT_CENTERED, 0xFFFFFFFF, false, false, false, false},
    };
    SDL_Joystick* stick = Attach();
    ASSERT_TRUE(OpenInputDevices());
    for (int32_t hat = 0; hat < 2; ++hat) {
        for (const Case& c : cases) {
            SDL_JoystickSetVirtualHat(stick, hat, c.hat);
            Poll();
            const JoystickStateRecord& state = JoystickState[0];
            EXPECT_EQ(state.rgdwPOV[hat], c.angle);
            const int32_t base = 65 + 4 * hat;
            const bool expected[4] = {c.up, c.right, c.down, c.left};
            for (int32_t d = 0; d < 4; ++d)
                EXPECT_EQ(state.rgbButtons[base + d], expected[d] ? 0x80 : 0) << "hat " << hat << " angle " << c.angle << " button " << base + d;
            EXPECT_EQ(state.rgdwPOV[2], 0xFFFFFFFFu);  // hats the joystick does not have are centred
        }
        SDL_JoystickSetVirtualHat(stick, hat, SDL_HAT_CENTERED);
    }
}

TEST_F(JoystickTest, AHeldButtonGivesOneKeyDownAndOneKeyUp)
{
    SDL_Joystick* stick = Attach();
    ASSERT_TRUE(OpenInputDevices());
    SDL_JoystickSetVirtualButton(stick, 3, SDL_PRESSED);
    Poll();
    std::vector<Received> keys = scene->Keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].message, WM_KEYDOWN);
    EXPECT_EQ(keys[0].wParam, 3u);
    EXPECT_EQ(keys[0].lParam, JoystickFlag | 0);
    EXPECT_EQ(scene->messages[0].message, WM_USER);  // the state comes before the buttons
    for (int32_t frame = 0; frame < 3; ++frame) {
        Poll();
        EXPECT_TRUE(scene->Keys().empty());
    }
    SDL_JoystickSetVirtualButton(stick, 3, SDL_RELEASED);
    Poll();
    keys = scene->Keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].message, WM_KEYUP);
    EXPECT_EQ(keys[0].wParam, 3u);
    Poll();
    EXPECT_TRUE(scene->Keys().empty());
}

TEST_F(JoystickTest, ButtonChangesArriveInAscendingOrderWithTheJoystickIndex)
{
    Attach();
    SDL_Joystick* second = Attach();
    ASSERT_TRUE(OpenInputDevices());
    SDL_JoystickSetVirtualButton(second, 9, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(second, 2, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(second, 0, SDL_HAT_LEFT);
    Poll();
    const std::vector<Received> keys = scene->Keys();
    ASSERT_EQ(keys.size(), 3u);
    const uintptr_t order[] = {2, 9, 68};
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].message, WM_KEYDOWN);
        EXPECT_EQ(keys[i].wParam, order[i]);
        EXPECT_EQ(keys[i].lParam, JoystickFlag | 1);
    }
}

TEST_F(JoystickTest, ButtonQueryRemembersTheLastAnswer)
{
    SDL_Joystick* stick = Attach();
    ASSERT_TRUE(OpenInputDevices());
    SDL_JoystickSetVirtualButton(stick, 4, SDL_PRESSED);
    Poll();
    EXPECT_EQ(JoystickButton(0, 4), 1);
    EXPECT_EQ(JoystickButton(0, 4), 3);
    Poll();
    EXPECT_EQ(JoystickButton(0, 4), 3);
    SDL_JoystickSetVirtualButton(stick, 4, SDL_RELEASED);
    Poll();
    EXPECT_EQ(JoystickButton(0, 4), 0);
    EXPECT_EQ(ButtonMemory[0][4], 0);
    SDL_JoystickSetVirtualButton(stick, 4, SDL_PRESSED);
    Poll();
    EXPECT_EQ(JoystickButton(0, 4), 1);
    EXPECT_EQ(JoystickButton(1, 4), 0);  // no second joystick
}

// A binding outside the 128 buttons reads as never pressed, also when every button is held.
TEST_F(JoystickTest, BindingsOutsideTheButtonsAreNeverPressed)
{
    SDL_Joystick* stick = Attach();
    ASSERT_TRUE(OpenInputDevices());
    for (int32_t b = 0; b < 16; ++b)
        SDL_JoystickSetVirtualButton(stick, b, SDL_PRESSED);
    Poll();
    GameSettings.controllerMode[0] = 0;
    for (int32_t button : {-1, 128, 255, 65536, -100000}) {
        GameSettings.joyButtons[0][NEXT] = button;
        EXPECT_FALSE(IsActionDown(0, NEXT)) << button;
        EXPECT_EQ(JoystickButton(0, button), 0) << button;
    }
    GameSettings.joyButtons[0][NEXT] = 15;
    EXPECT_TRUE(IsActionDown(0, NEXT));
}

TEST_F(JoystickTest, BothPlayersOnTheFirstJoystick)
{
    SDL_Joystick* stick = Attach();
    Attach();
    ASSERT_TRUE(OpenInputDevices());
    GameSettings.controllerMode[0] = 0;
    GameSettings.controllerMode[1] = 0;
    SDL_JoystickSetVirtualButton(stick, 1, SDL_PRESSED);
    Poll();
    EXPECT_EQ(ControlledPlayer(0), 1);   // its messages go to player 2
    EXPECT_EQ(ControlledPlayer(1), -1);  // the second joystick is nobody's
    EXPECT_TRUE(IsActionDown(0, RIGHT)); // player 1's buttons still steer
    EXPECT_TRUE(IsActionDown(1, RIGHT));
    EXPECT_FALSE(IsActionDown(0, LEFT));
}

TEST_F(JoystickTest, AnUnpluggedJoystickLetsGoAndTheOtherGoesOn)
{
    Attach();
    SDL_Joystick* second = Attach();
    ASSERT_TRUE(OpenInputDevices());
    GameSettings.controllerMode[0] = 0;
    SDL_JoystickSetVirtualButton(handles[0], GameSettings.joyButtons[0][NEXT], SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(handles[0], 0, 32767);
    Poll();
    ASSERT_TRUE(IsActionDown(0, NEXT));
    ASSERT_TRUE(SDL_JoystickIsVirtual(0));
    SDL_JoystickDetachVirtual(0);
    SDL_JoystickSetVirtualButton(second, 6, SDL_PRESSED);
    Poll();
    ASSERT_EQ(scene->messages.size(), 2u);  // only the second joystick's state and button
    EXPECT_EQ(scene->messages[0].message, WM_USER);
    EXPECT_EQ(scene->messages[0].wParam, 1u);
    EXPECT_EQ(scene->messages[1].lParam, JoystickFlag | 1);
    EXPECT_FALSE(IsActionDown(0, NEXT));
    EXPECT_EQ(JoystickState[0].lX, 0);
    SetKeyDown(VK_SPACE, true);  // the keyboard still plays
    EXPECT_TRUE(IsActionDown(0, NEXT));
}

TEST_F(JoystickTest, AButtonHeldAtTheFirstPollReportsAtOnce)
{
    SDL_Joystick* stick = Attach();
    SDL_JoystickSetVirtualButton(stick, 0, SDL_PRESSED);
    SDL_JoystickUpdate();
    ASSERT_TRUE(OpenInputDevices());
    Poll();
    const std::vector<Received> keys = scene->Keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wParam, 0u);
}

}  // namespace
