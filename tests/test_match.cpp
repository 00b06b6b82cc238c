// A match frame by frame on the real world: steering, the computer player, the
// timeline of Update, the scene's commands and whole matches run headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game/Game.h"
#include "input/Input.h"
#include "render/Render.h"
#include "shell/Shell.h"

namespace {

// The clock only moves when a test moves it; every fixture starts far beyond the
// throttles' last timestamps, which live for the whole program run.
uint32_t testNow = 0;
uint32_t TestClock()
{
    return testNow;
}

uint32_t randomState = 1;
int32_t TestRandom()
{
    randomState = randomState * 1103515245u + 12345u;
    return static_cast<int32_t>((randomState >> 16) & 0x7FFF);
}

constexpr uintptr_t KeyM = 0x4D;

class MatchTest : public ::testing::Test {
protected:
    std::filesystem::path previousDir;
    std::filesystem::path dir;
    std::unique_ptr<Game> game;

    void SetUp() override
    {
        previousDir = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "mirelune-match-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        std::filesystem::current_path(dir);  // Init reads score.dat from here
        GameSettings = DefaultGameSettings();
        ClearKeyStates();
        testNow += 100000;
        ClockSource = TestClock;
        randomState = 12345;
        RandomSource = TestRandom;
        SceneRequest = {0, 0};
    }
    void TearDown() override
    {
        game.reset();
        ClockSource = nullptr;
        RandomSource = nullptr;
        ClearKeyStates();
        GameSettings = DefaultGameSettings();
        std::filesystem::current_path(previousDir);
        std::filesystem::remove_all(dir);
    }

    void Start(int32_t mode)
    {
        game = std::make_unique<Game>();
        game->Init(mode);
    }
    void RunTo(uint32_t frame)
    {
        while (game->frame < frame)
            game->Update();
    }
    void Key(uintptr_t code) { game->HandleMessage(nullptr, WM_KEYDOWN, code, 1); }
    void Button(uintptr_t button, int32_t joystick)
    {
        game->HandleMessage(nullptr, WM_KEYDOWN, button, JoystickFlag | joystick);
    }
    void Click() { game->HandleMessage(nullptr, WM_LBUTTONDOWN, 0, 0); }
    void Stick(int32_t joystick, int32_t lX, int32_t lY)
    {
        JoystickStateRecord state = {};
        state.lX = lX;
        state.lY = lY;
        game->HandleMessage(nullptr, WM_USER, joystick, reinterpret_cast<intptr_t>(&state));
    }

    // A body outside the container that drifts at one unit per second while the world steps.
    b2Body* AddProbe()
    {
        b2BodyDef def;
        def.type = b2_dynamicBody;
        def.position.Set(0.0f, 200.0f);
        def.gravityScale = 0.0f;
        b2Body* probe = game->world->CreateBody(&def);
        b2PolygonShape box;
        box.SetAsBox(0.5f, 0.5f);
        probe->CreateFixture(&box, 1.0f);
        probe->SetLinearVelocity(b2Vec2(1.0f, 0.0f));
        return probe;
    }
    // Updates once; true when the world stepped in it.
    bool Stepped(b2Body* probe)
    {
        const float x = probe->GetPosition().x;
        game->Update();
        return probe->GetPosition().x != x;
    }
    // Grey blocks in rows over the left field from the floor up.
    void FillLeftField(int32_t count)
    {
        for (int32_t i = 0; i < count; ++i)
            CreateBlock(*game, GreyKind, 2.0f, 1.0f, 0.0f, -19.0f + 2.0f * (i % 8), -9.0f + 2.0f * (i / 8));
    }
    b2Vec2 PieceVelocity(int32_t player) const { return game->currentPiece[player]->GetLinearVelocity(); }
};

// ---------------------------------------------------------------------------
// Steering by keys, mouse and stick.

using SteeringTest = MatchTest;

TEST_F(SteeringTest, KeysSteerAtFortyAndOppositesCancel)
{
    struct Case {
        std::vector<int32_t> keys;
        float vx, vy;
    };
    const Case cases[] = {
        {{}, 0.0f, 0.0f},
        {{'A'}, -40.0f, 0.0f},
        {{'D'}, 40.0f, 0.0f},
        {{'S'}, 0.0f, -40.0f},
        {{'A', 'W'}, -28.284271f, 28.284271f},
        {{'D', 'S'}, 28.284271f, -28.284271f},
        {{'A', 'D'}, 0.0f, 0.0f},
        {{'A', 'D', 'W', 'S'}, 0.0f, 0.0f},
        {{'A', 'D', 'W'}, 0.0f, 40.0f},
    };
    Start(0);
    RunTo(PlayStartFrame);
    for (const Case& c : cases) {
        ClearKeyStates();
        for (int32_t key : c.keys)
            SetKeyDown(key, true);
        game->currentPiece[0]->SetLinearVelocity(b2Vec2(3.0f, 3.0f));
        SteerPieces(*game);
        EXPECT_FLOAT_EQ(PieceVelocity(0).x, c.vx) << c.keys.size();
        EXPECT_FLOAT_EQ(PieceVelocity(0).y, c.vy) << c.keys.size();
    }
    ClearKeyStates();
    SetKeyDown(VK_LEFT, true);  // player 2's arrows steer player 2 only
    SteerPieces(*game);
    EXPECT_FLOAT_EQ(PieceVelocity(1).x, -40.0f);
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 0.0f);
}

TEST_F(SteeringTest, NextStopsThePieceAndAsksForTheNextOne)
{
    Start(0);
    RunTo(PlayStartFrame + 10);
    SetKeyDown('D', true);
    SetKeyDown(VK_SPACE, true);
    SteerPieces(*game);  // within 30 frames of the first piece: the piece only stops
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame);
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 0.0f);
    ClearKeyStates();
    RunTo(PlayStartFrame + 30);
    SetKeyDown(VK_SPACE, true);
    const size_t blocks = game->blocks.size();
    SteerPieces(*game);
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame + 30);
    EXPECT_EQ(game->blocks.size(), blocks + 1);  // the released block and a fresh piece
}

TEST_F(SteeringTest, MouseModeFliesToTheCursorAndIgnoresTheKeys)
{
    GameSettings.controllerMode[0] = -2;
    Start(0);
    RunTo(PlayStartFrame + 40);
    SetKeyDown('A', true);
    SetKeyDown(VK_SPACE, true);
    SteerPieces(*game);
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 0.0f);  // the button is up: the piece hovers
    EXPECT_FLOAT_EQ(PieceVelocity(0).y, 0.0f);
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame);

    SetKeyDown(VK_LBUTTON, true);
    SetCursorClientPosition(400, 300);  // aims at (0, 10)
    SteerPieces(*game);
    const b2Vec2 p = game->currentPiece[0]->GetPosition();
    b2Vec2 expected = b2Vec2(0.0f, 10.0f) - p;
    expected *= 40.0f / expected.Length();
    EXPECT_NEAR(PieceVelocity(0).x, expected.x, 1e-4);
    EXPECT_NEAR(PieceVelocity(0).y, expected.y, 1e-4);
    EXPECT_NEAR(PieceVelocity(0).Length(), 40.0f, 1e-4);

    game->currentPiece[0]->SetTransform(CursorWorldPosition(), 0.0f);
    SteerPieces(*game);  // on the cursor: no direction
    EXPECT_FLOAT_EQ(PieceVelocity(0).Length(), 0.0f);

    SetKeyDown(VK_RBUTTON, true);
    SteerPieces(*game);
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame + 40);
}

TEST_F(SteeringTest, TheStickSteersWithADeadZone)
{
    struct Case {
        int32_t lX, lY;
        float vx, vy;
    };
    const Case cases[] = {
        {10, -10, 0.0f, 0.0f},   {11, 0, 0.44f, 0.0f},     {0, -11, 0.0f, 0.44f},
        {1000, -1000, 40.0f, 40.0f}, {-1000, 1000, -40.0f, -40.0f}, {-500, 5, -20.0f, 0.0f},
    };
    GameSettings.controllerMode[0] = 0;
    GameSettings.useAxis[0] = true;
    Start(0);
    RunTo(PlayStartFrame);
    for (const Case& c : cases) {
        Stick(0, c.lX, c.lY);
        EXPECT_FLOAT_EQ(PieceVelocity(0).x, c.vx) << c.lX << "," << c.lY;
        EXPECT_FLOAT_EQ(PieceVelocity(0).y, c.vy) << c.lX << "," << c.lY;
    }
    Stick(0, 1000, 0);
    SteerPieces(*game);  // the keys leave a stick player's piece alone ...
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 40.0f);
    SetKeyDown(VK_SPACE, true);
    SteerPieces(*game);  // ... except that NEXT stops it
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 0.0f);

    GameSettings.useAxis[0] = false;
    game->currentPiece[0]->SetLinearVelocity(b2Vec2(5.0f, 5.0f));
    Stick(0, 1000, 1000);
    EXPECT_FLOAT_EQ(PieceVelocity(0).x, 5.0f);  // without USE_AXIS the stick does not steer
}

// ---------------------------------------------------------------------------
// The computer player (mode 1: player 2 is the computer).

class ComputerTest : public MatchTest {
protected:
    void SetUp() override
    {
        MatchTest::SetUp();
        Start(1);
        game->specialDrops = false;
        RunTo(PlayStartFrame);
        Calm();
        game->frame += 30;
        ASSERT_TRUE(Released());  // a calm release starts the release timer now
        Piece()->SetTransform(b2Vec2(10.0f, 20.0f), 0.0f);
        game->frame += 30;
    }
    b2Body* Piece() const { return game->currentPiece[1]; }
    int64_t PieceColour() const { return KindOf(Piece()) & 0xFF; }
    void Calm()
    {
        game->fill[1] = 0.0f;
        game->pendingAttack[1] = 0;
        game->lastClearFrame[1] = game->frame - 60;
    }
    // Pressure keeps the computer from letting go early and makes it move vertically.
    void Pressure() { game->fill[1] = 50.0f; }
    b2Body* Block(int64_t kind, float x, float y) { return CreateBlock(*game, kind, 2.0f, 1.0f, 0.0f, x, y); }
    // Every other block turns grey and the target takes the piece's colour.
    void OnlyTarget(b2Body* target)
    {
        for (b2Body* block : game->blocks) {
            if (block != Piece())
                SetKind(block, GreyKind);
        }
        if (target != nullptr)
            SetKind(target, PieceColour());
    }
    bool Released()
    {
        const uint32_t before = game->lastNextFrame[1];
        SteerCpuPiece(*game, 1);
        return game->lastNextFrame[1] != before;
    }
};

TEST_F(ComputerTest, AimsAtTheLastBlockOfItsColourOnItsSide)
{
    Pressure();
    const int64_t colour = PieceColour();
    OnlyTarget(nullptr);
    Block(colour, 15.0f, 0.0f);
    Block(colour, 6.0f, -5.0f);        // the last of its colour on the right: the target
    Block(colour % 4 + 1, 18.0f, 0.0f);  // another colour
    Block(colour, -10.0f, 0.0f);       // the left side
    SteerCpuPiece(*game, 1);
    EXPECT_FLOAT_EQ(PieceVelocity(1).x, -40.0f);
    EXPECT_FLOAT_EQ(PieceVelocity(1).y, -40.0f);
}

TEST_F(ComputerTest, MovesOnlyWhenMoreThanOneUnitOff)
{
    Pressure();
    b2Body* target = Block(GreyKind, 0.0f, 0.0f);
    OnlyTarget(target);
    struct Case {
        float targetX, targetY;
        float vx, vy;
    };
    const Case cases[] = {
        {11.0f, 20.0f, 0.0f, 0.0f},
        {9.0f, 25.0f, 0.0f, 40.0f},
        {11.5f, 0.0f, 40.0f, -40.0f},
        {8.5f, 20.0f, -40.0f, 0.0f},
    };
    for (const Case& c : cases) {
        target->SetTransform(b2Vec2(c.targetX, c.targetY), 0.0f);
        SteerCpuPiece(*game, 1);
        EXPECT_FLOAT_EQ(PieceVelocity(1).x, c.vx) << c.targetX;
        EXPECT_FLOAT_EQ(PieceVelocity(1).y, c.vy) << c.targetX;
    }
}

TEST_F(ComputerTest, LetsGoInCalmPlayAndClimbsOnlyUnderPressure)
{
    b2Body* target = Block(GreyKind, 12.0f, 0.0f);  // below the piece
    struct Case {
        float fill;
        int32_t attack;
        uint32_t sinceClear;
        bool releases;
        float vy;
    };
    const Case cases[] = {
        {0.0f, 0, 60, true, 0.0f},
        {29.9f, 31, 60, true, 0.0f},
        {30.0f, 0, 60, false, 0.0f},  // exactly 30: neither calm nor pressed
        {30.5f, 0, 60, false, -40.0f},
        {0.0f, 32, 60, false, -40.0f},
        {0.0f, 0, 59, false, -40.0f},
    };
    for (const Case& c : cases) {
        OnlyTarget(target);
        game->frame += 30;
        game->fill[1] = c.fill;
        game->pendingAttack[1] = c.attack;
        game->lastClearFrame[1] = game->frame - c.sinceClear;
        testNow += 100;
        EXPECT_EQ(Released(), c.releases) << c.fill << " " << c.attack << " " << c.sinceClear;
        OnlyTarget(target);
        Piece()->SetTransform(b2Vec2(12.0f, 20.0f), 0.0f);
        SteerCpuPiece(*game, 1);
        EXPECT_FLOAT_EQ(PieceVelocity(1).x, 0.0f);
        EXPECT_FLOAT_EQ(PieceVelocity(1).y, c.vy) << c.fill << " " << c.attack << " " << c.sinceClear;
    }
}

TEST_F(ComputerTest, LetsGoAfterThreeSecondsWhateverThePressure)
{
    b2Body* target = Block(GreyKind, 12.0f, 0.0f);
    OnlyTarget(target);
    Pressure();
    testNow += 3000;
    EXPECT_FALSE(Released());
    testNow += 1;
    EXPECT_TRUE(Released());
    OnlyTarget(target);
    game->frame += 30;
    EXPECT_FALSE(Released());  // the timer started again
}

TEST_F(ComputerTest, WithoutATargetItAsksForANewPieceEveryFrame)
{
    Pressure();
    OnlyTarget(nullptr);
    game->frame += 1;
    EXPECT_TRUE(Released());
    for (int32_t i = 1; i < 30; ++i) {
        OnlyTarget(nullptr);
        game->frame += 1;
        EXPECT_FALSE(Released()) << i;  // the 30-frame guard keeps the rate down
    }
    OnlyTarget(nullptr);
    game->frame += 1;
    EXPECT_TRUE(Released());
}

// ---------------------------------------------------------------------------
// The timeline.

using TimelineTest = MatchTest;

TEST_F(TimelineTest, TheOpeningCameraPullsBack)
{
    Start(0);
    game->Update();
    EXPECT_EQ(game->frame, 1u);
    EXPECT_FLOAT_EQ(Camera.eye.x, 0.0f);
    EXPECT_FLOAT_EQ(Camera.eye.y, 10.0f);
    EXPECT_NEAR(Camera.eye.z, -0.6544, 1e-3);
    EXPECT_FLOAT_EQ(Camera.target.y, 10.0f);
    RunTo(120);
    EXPECT_FLOAT_EQ(Camera.eye.z, -50.0f);
    SetViewCamera(glm::vec3(1.0f), glm::vec3(0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    game->Update();
    EXPECT_FLOAT_EQ(Camera.eye.x, 1.0f);  // after the opening the camera is left alone
}

TEST_F(TimelineTest, FirstPiecesComeAtFrame300InEveryMode)
{
    for (int32_t mode = 0; mode < 4; ++mode) {
        Start(mode);
        RunTo(PlayStartFrame - 1);
        EXPECT_EQ(game->currentPiece[0], nullptr) << mode;
        EXPECT_EQ(game->currentPiece[1], nullptr) << mode;
        game->Update();
        EXPECT_NE(game->currentPiece[0], nullptr) << mode;
        EXPECT_EQ(game->currentPiece[1] != nullptr, mode != 2) << mode;
        EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame) << mode;
    }
    Start(2);
    RunTo(PlayStartFrame + 700);
    EXPECT_EQ(game->currentPiece[1], nullptr);  // the single player's right field gets none
}

TEST_F(TimelineTest, APieceIsLetGoAfter120Frames)
{
    Start(0);
    RunTo(PlayStartFrame + 119);
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame);
    EXPECT_EQ(game->lastNextFrame[1], PlayStartFrame);
    game->Update();
    EXPECT_EQ(game->lastNextFrame[0], PlayStartFrame + 120);
    EXPECT_EQ(game->lastNextFrame[1], PlayStartFrame + 120);
}

TEST_F(TimelineTest, DoubleSpeedStepsTwoFramesAndTwiceTheTime)
{
    SetKeyDown('4', true);
    Start(0);
    SetKeyDown('4', false);
    ASSERT_EQ(game->frameStep, 2);
    b2Body* probe = AddProbe();
    game->Update();
    EXPECT_EQ(game->frame, 2u);
    EXPECT_NEAR(probe->GetPosition().x, 2.0f / 60.0f, 1e-5);
    RunTo(PlayStartFrame - 2);
    EXPECT_EQ(game->currentPiece[0], nullptr);
    game->Update();
    EXPECT_EQ(game->frame, PlayStartFrame);
    EXPECT_NE(game->currentPiece[0], nullptr);
    EXPECT_NE(game->currentPiece[1], nullptr);
}

TEST_F(TimelineTest, SkipToFinaleJumpsAndTheFloorRisesAfter3900)
{
    Start(0);
    game->skipToFinale = true;
    RunTo(PlayStartFrame);
    EXPECT_NE(game->currentPiece[0], nullptr);
    game->Update();
    EXPECT_EQ(game->frame, 3900u);
    EXPECT_FLOAT_EQ(game->floorBody->GetPosition().y, -20.0f);
    float expected = -20.0f;
    for (int32_t i = 0; i < 5; ++i) {
        game->Update();
        expected += 0.010833333f;
        EXPECT_EQ(game->floorBody->GetPosition().y, expected) << game->frame;
        EXPECT_EQ(game->floorBody->GetPosition().x, 0.0f);
        EXPECT_EQ(game->floorBody->GetLinearVelocity().y, 0.0f);
    }
}

TEST_F(TimelineTest, TheSinglePlayerFloorRisesByLevelFromTheStartOfPlay)
{
    for (int32_t level : {1, 4}) {
        Start(2);
        game->level = level;
        RunTo(PlayStartFrame - 1);
        EXPECT_FLOAT_EQ(game->floorBody->GetPosition().y, -20.0f);
        float expected = -20.0f;
        for (int32_t i = 0; i < 3; ++i) {
            game->Update();
            expected += std::sqrt(static_cast<float>(level)) * 39.0f / 14400.0f;
            EXPECT_EQ(game->floorBody->GetPosition().y, expected) << level;
        }
    }
}

// The rising floor carries the pile: no block is pressed into another.
TEST_F(TimelineTest, TheRisingFloorCarriesThePileWithoutSqueezingIt)
{
    Start(0);
    game->specialDrops = false;
    game->skipToFinale = true;
    std::vector<b2Body*> pile;
    for (int32_t i = 0; i < 56; ++i) {
        const float x = (i % 2 ? 5.5f : -18.5f) + 2.02f * (i / 2 % 7);
        pile.push_back(CreateBlock(*game, GreyKind, 2.0f, 1.0f, 0.0f, x, -8.99f + 2.02f * (i / 14)));
    }
    float worst = 10.0f;
    while (game->frame < 3900 + 600) {
        // The pieces hover at the top (also over the jump to 3900), so nothing falls onto the pile.
        game->lastNextFrame[0] = game->lastNextFrame[1] = std::max(game->frame, 3900u);
        game->Update();
        for (size_t a = 0; a < pile.size(); ++a) {
            for (size_t b = a + 1; b < pile.size(); ++b)
                worst = std::min(worst, b2Distance(pile[a]->GetPosition(), pile[b]->GetPosition()));
        }
    }
    EXPECT_GT(game->floorBody->GetPosition().y, -20.0f + 6.0f);
    // Two squares of side 2 that do not overlap keep their centres 2 apart; a floor that
    // jumps each frame presses the bottom rows about 0.03 into each other.
    EXPECT_GT(worst, 1.995f);
}

TEST_F(TimelineTest, TheMatchEndsTheFrameAfterAFieldReaches80)
{
    Start(0);
    game->specialDrops = false;
    RunTo(PlayStartFrame);
    b2Body* probe = AddProbe();
    FillLeftField(124);
    game->Update();
    EXPECT_GE(game->fill[0], 80.0f);
    EXPECT_EQ(game->gameOverFrame, 0u);
    EXPECT_TRUE(Stepped(probe));  // the end frame still steps
    EXPECT_EQ(game->gameOverFrame, game->frame);
    for (int32_t i = 1; i < 30; ++i)
        EXPECT_TRUE(Stepped(probe)) << i;
    EXPECT_FALSE(Stepped(probe));
    EXPECT_FALSE(Stepped(probe));
    EXPECT_EQ(game->frame - game->gameOverFrame, 31u);
}

TEST_F(TimelineTest, AClearedLevelResumesAtFrame300WithTheNextLevel)
{
    Start(2);
    RunTo(PlayStartFrame + 10);
    game->score = 1234;
    game->fill[1] = FillLimit;  // the right field is full: the level is won
    for (int32_t i = 0; i < 400 && game->level == 1; ++i)
        game->Update();
    ASSERT_EQ(game->level, 2);
    EXPECT_EQ(game->frame, PlayStartFrame - 1);
    EXPECT_EQ(game->currentPiece[0], nullptr);
    const float cameraZ = Camera.eye.z;
    game->Update();
    EXPECT_EQ(game->frame, PlayStartFrame);
    EXPECT_NE(game->currentPiece[0], nullptr);
    EXPECT_EQ(game->score, 1234u);
    EXPECT_EQ(Camera.eye.z, cameraZ);  // no opening
}

TEST_F(TimelineTest, TheDemonstrationStartsAgainAfterItsEnd)
{
    Start(3);
    RunTo(PlayStartFrame + 10);
    game->fill[0] = FillLimit;
    bool ended = false;
    for (int32_t i = 0; i < 400 && !(ended && game->frame < PlayStartFrame); ++i) {
        game->Update();
        ended = ended || game->gameOverFrame != 0;
    }
    ASSERT_TRUE(ended);
    EXPECT_LT(game->frame, PlayStartFrame);
    EXPECT_EQ(game->gameOverFrame, 0u);
    EXPECT_FALSE(game->resultsShown);
    RunTo(PlayStartFrame);
    EXPECT_NE(game->currentPiece[0], nullptr);
    EXPECT_NE(game->currentPiece[1], nullptr);
}

TEST_F(TimelineTest, LeavingRequestsTheMenu120FramesLaterOrAtOnceAfterAClick)
{
    Start(0);
    RunTo(200);
    Key(KeyM);
    EXPECT_EQ(game->quitFrame, 200u);
    RunTo(319);
    EXPECT_EQ(SceneRequest.nextSceneId, 0);
    game->Update();
    EXPECT_EQ(SceneRequest.nextSceneId, 1);
    EXPECT_EQ(SceneRequest.initArgument, 0);

    SceneRequest = {0, 0};
    Start(0);
    RunTo(50);
    Key(KeyM);
    Click();
    game->Update();
    EXPECT_EQ(SceneRequest.nextSceneId, 1);
}

// ---------------------------------------------------------------------------
// The commands.

using CommandTest = MatchTest;

TEST_F(CommandTest, F2TogglesThePauseAndThePauseHoldsTheMatch)
{
    Start(0);
    RunTo(10);
    b2Body* probe = AddProbe();
    game->menuCursor = 0;
    Key(VK_F2);
    EXPECT_TRUE(game->paused);
    EXPECT_EQ(game->menuCursor, 2);  // "CONTINUE"
    EXPECT_FALSE(Stepped(probe));
    EXPECT_EQ(game->frame, 10u);
    Key(KeyM);  // M while paused does nothing
    Key(VK_F1);
    EXPECT_EQ(game->quitFrame, 0u);
    EXPECT_EQ(game->frame, 10u);
    Key(VK_F2);
    EXPECT_FALSE(game->paused);
    EXPECT_TRUE(Stepped(probe));
    EXPECT_EQ(game->frame, 11u);
}

TEST_F(CommandTest, CursorMovesAreThrottledTo300Milliseconds)
{
    Start(0);
    RunTo(10);
    Key(VK_F2);
    game->menuCursor = 0;
    struct Case {
        uint32_t at;  // ms after the first press
        uintptr_t key;
        int32_t cursor;
    };
    const Case cases[] = {
        {0, 'W', 1},
        {100, VK_UP, 1},  // too soon; player 2's UP works the same menu
        {300, 'W', 2},
        {600, 'W', 2},    // the top entry
        {900, 'S', 1},
        {1200, 'S', 0},
        {1500, 'S', 0},   // DOWN at 0 moves nothing but restarts the timer
        {1700, 'W', 0},
        {1800, 'W', 1},
    };
    const uint32_t start = testNow;
    for (const Case& c : cases) {
        testNow = start + c.at;
        Key(c.key);
        EXPECT_EQ(game->menuCursor, c.cursor) << c.at;
    }
}

TEST_F(CommandTest, TheStickMovesTheCursorOnItsOwnTimer)
{
    GameSettings.controllerMode[0] = 0;
    Start(0);
    RunTo(10);
    Key(VK_F2);
    game->menuCursor = 0;
    Stick(0, 0, -201);
    EXPECT_EQ(game->menuCursor, 1);
    Stick(0, 0, -1000);
    EXPECT_EQ(game->menuCursor, 1);
    Key('W');  // the keys' timer is another one
    EXPECT_EQ(game->menuCursor, 2);
    testNow += 300;
    Stick(0, 0, 200);  // not beyond 200
    EXPECT_EQ(game->menuCursor, 2);
    Stick(0, 0, 201);
    EXPECT_EQ(game->menuCursor, 1);
    testNow += 300;
    Stick(1, 0, 1000);  // a joystick that is nobody's
    EXPECT_EQ(game->menuCursor, 1);
}

TEST_F(CommandTest, JoystickButtonsWorkTheMenuOnlyForTheirPlayer)
{
    Start(0);
    RunTo(10);
    Key(VK_F2);
    game->menuCursor = 0;
    Button(GameSettings.joyButtons[0][UP], 0);  // nobody plays on joystick 1
    Button(GameSettings.joyButtons[0][NEXT], 0);
    EXPECT_EQ(game->menuCursor, 0);
    EXPECT_TRUE(game->paused);

    GameSettings.controllerMode[1] = 0;
    Button(GameSettings.joyButtons[1][UP], 0);
    EXPECT_EQ(game->menuCursor, 1);
    Button(GameSettings.joyButtons[1][NEXT], 0);  // RETRY
    EXPECT_FALSE(game->paused);
    EXPECT_EQ(game->frame, 0u);
}

TEST_F(CommandTest, EachMenuChoiceDoesItsThing)
{
    struct Case {
        int32_t cursor;
        bool leaving;
        bool restarted;
    };
    const Case cases[] = {{2, false, false}, {1, false, true}, {0, true, false}};
    for (const Case& c : cases) {
        Start(0);
        RunTo(150);
        game->level = 3;
        game->score = 99;
        Key(VK_F2);
        game->menuCursor = c.cursor;
        Key(VK_RETURN);  // player 2's NEXT confirms as well
        EXPECT_FALSE(game->paused) << c.cursor;
        EXPECT_EQ(game->quitFrame != 0, c.leaving) << c.cursor;
        EXPECT_EQ(game->frame == 0, c.restarted) << c.cursor;
        EXPECT_EQ(game->level, c.restarted ? 1 : 3) << c.cursor;
        EXPECT_EQ(game->score, c.restarted ? 0u : 99u) << c.cursor;
    }
    // Once leaving, the menu confirms nothing more.
    Key(VK_F2);
    game->menuCursor = 1;
    Key(VK_SPACE);
    EXPECT_TRUE(game->paused);
    EXPECT_NE(game->frame, 0u);
}

TEST_F(CommandTest, TheResultsMenuOffersRetryAndReturn)
{
    Start(0);
    RunTo(400);
    game->fill[1] = FillLimit;
    game->resultsShown = true;
    game->menuCursor = 0;
    Key('W');
    EXPECT_EQ(game->menuCursor, 1);
    testNow += 300;
    Key('W');
    EXPECT_EQ(game->menuCursor, 1);  // "RETRY" is its top entry
    Key(VK_SPACE);
    EXPECT_EQ(game->frame, 0u);
    EXPECT_FALSE(game->resultsShown);
}

TEST_F(CommandTest, NextOrAClickSkipsTheOpening)
{
    Start(0);
    RunTo(50);
    Key(VK_SPACE);
    EXPECT_EQ(game->frame, 119u);
    game->Update();
    EXPECT_FLOAT_EQ(Camera.eye.z, -50.0f);

    Start(0);
    game->frameStep = 2;
    RunTo(10);
    Click();
    EXPECT_EQ(game->frame, 118u);
    RunTo(200);
    Click();  // after the opening a click changes nothing
    EXPECT_EQ(game->frame, 200u);
}

TEST_F(CommandTest, F1RestartsTheMatch)
{
    Start(0);
    RunTo(500);
    game->level = 2;
    game->score = 7;
    Key(VK_F1);
    EXPECT_EQ(game->frame, 0u);
    EXPECT_EQ(game->level, 1);
    EXPECT_EQ(game->score, 0u);
    EXPECT_EQ(game->currentPiece[0], nullptr);
}

TEST_F(CommandTest, AnyKeyEndsTheDemonstration)
{
    struct Case {
        uintptr_t code;
        intptr_t lParam;
    };
    const Case cases[] = {{'Q', 1}, {VK_F2, 1}, {7, JoystickFlag | 0}, {3, JoystickFlag | 1}};
    for (const Case& c : cases) {
        Start(3);
        RunTo(40);
        game->HandleMessage(nullptr, WM_KEYDOWN, c.code, c.lParam);
        EXPECT_EQ(game->quitFrame, 40u) << c.code;
        EXPECT_FALSE(game->paused);
    }
    SceneRequest = {0, 0};
    Click();
    EXPECT_EQ(game->frame, 160u);
    game->Update();
    EXPECT_EQ(SceneRequest.nextSceneId, 1);
}

// ---------------------------------------------------------------------------
// Whole matches, headless and unpaced.

using WholeMatchTest = MatchTest;

TEST_F(WholeMatchTest, TheDemonstrationPlaysToAnEndAndStartsAgain)
{
    Start(3);
    bool cleared[2] = {false, false};
    bool ended = false;
    bool restarted = false;
    for (int32_t updates = 0; updates < 20000 && !(restarted && game->frame >= PlayStartFrame); ++updates) {
        game->Update();
        for (int32_t side = 0; side < 2; ++side)
            cleared[side] = cleared[side] || game->chainCleared[side] > 0;
        ended = ended || game->gameOverFrame != 0;
        restarted = restarted || (ended && game->frame < PlayStartFrame);
    }
    EXPECT_TRUE(restarted);
    EXPECT_TRUE(cleared[0]);
    EXPECT_TRUE(cleared[1]);
    EXPECT_EQ(game->frame, PlayStartFrame);  // the next match has begun
    EXPECT_NE(game->currentPiece[0], nullptr);
    EXPECT_NE(game->currentPiece[1], nullptr);
    EXPECT_EQ(SceneRequest.nextSceneId, 0);
}

TEST_F(WholeMatchTest, ASinglePlayerGameWithoutInputEndsInGameOver)
{
    Start(2);
    for (int32_t updates = 0; updates < 20000 && !game->resultsShown; ++updates)
        game->Update();
    EXPECT_TRUE(game->resultsShown);
    EXPECT_GE(game->fill[0], FillLimit);
    EXPECT_EQ(game->level, 1);
    EXPECT_EQ(game->menuCursor, 1);  // "RETRY"
}

}  // namespace
