// The title menu against its real physics world, and one rendered frame.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "input/Input.h"
#include "menu/Menu.h"
#include "render/Render.h"
#include "shell/Shell.h"

namespace {

using Cells = std::set<std::pair<int, int>>;  // (row, column)

bool NoPlatformMessage(Message&)
{
    return false;
}

int32_t KindOf(b2Body* body)
{
    return static_cast<int32_t>(body->GetFixtureList()->GetUserData().pointer);
}

std::vector<b2Body*> BoxesOfKind(const Menu& menu, int32_t kind, b2BodyType type)
{
    std::vector<b2Body*> boxes;
    for (b2Body* body : menu.bodies)
        if (KindOf(body) == kind && body->GetType() == type)
            boxes.push_back(body);
    return boxes;
}

float HalfSizeOf(const b2Body* body)
{
    const auto* box = static_cast<const b2PolygonShape*>(body->GetFixtureList()->GetShape());
    float half = 0;
    for (int i = 0; i < box->m_count; ++i)
        half = std::max(half, box->m_vertices[i].x);
    return half;
}

Cells FilledCells(const char* const* rows, int columns)
{
    Cells cells;
    for (int r = 0; r < BitmapRows; ++r)
        for (int c = 0; c < columns; ++c)
            if (rows[r][c] == 'X')
                cells.insert({r, c});
    return cells;
}

// The bitmap cells the boxes stand on, given the grid's spacing and origin;
// a box off the grid gives an impossible cell.
Cells CellsOfBoxes(const std::vector<b2Body*>& boxes, float spacing, float leftColumn, float top)
{
    Cells cells;
    for (const b2Body* box : boxes) {
        const float c = box->GetPosition().x / spacing - leftColumn;
        const float r = (top - box->GetPosition().y) / spacing;
        const bool onGrid = std::fabs(c - std::round(c)) < 1e-4f && std::fabs(r - std::round(r)) < 1e-4f;
        cells.insert(onGrid ? std::make_pair(int(std::round(r)), int(std::round(c))) : std::make_pair(-1, -1));
    }
    return cells;
}

Cells CaptionCells(const Menu& menu, int32_t kind, b2BodyType type, float top)
{
    return CellsOfBoxes(BoxesOfKind(menu, kind, type), 0.75f, -21, top);
}

bool QuitPosted()
{
    Message m;
    while (PeekMessage(m))
        if (m.message == WM_QUIT)
            return true;
    return false;
}

intptr_t ClickAt(int x, int y)
{
    return static_cast<intptr_t>(x | y << 16);
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GameSettings = DefaultGameSettings();
        lastMoveFrame = 0;
        PollPlatformMessage = NoPlatformMessage;
        Restart();
    }

    void TearDown() override
    {
        CurrentScene.reset();
        ClearMessageQueue();
        GameSettings = DefaultGameSettings();
    }

    // A fresh menu as the current scene, so that messages it sends itself come back to it.
    void Restart()
    {
        SceneRequest = {0, 0};
        ClearMessageQueue();
        CurrentScene = std::make_unique<Menu>();
        menu = static_cast<Menu*>(CurrentScene.get());
        menu->Init(0);
    }

    void RunUntil(uint32_t frame)
    {
        while (menu->frame < frame)
            menu->Update();
    }

    void Key(uintptr_t code, intptr_t lParam = 1) { menu->HandleMessage(MainWindow, WM_KEYDOWN, code, lParam); }

    Menu* menu = nullptr;
};

// ---------------------------------------------------------------------------
// The title and the captions

TEST_F(MenuTest, TitleIsAWallOfStaticBoxesSpellingEightLetters)
{
    for (const char* row : TitleBitmap)
        EXPECT_EQ(std::strlen(row), size_t(TitleColumns));

    const std::vector<b2Body*> title = BoxesOfKind(*menu, 0, b2_staticBody);
    EXPECT_EQ(CellsOfBoxes(title, 1.125f, -21.5f, 20), FilledCells(TitleBitmap, TitleColumns));
    float left = 1e9f, right = -1e9f, bottom = 1e9f, top = -1e9f;
    for (const b2Body* box : title) {
        EXPECT_FLOAT_EQ(HalfSizeOf(box), 0.375f);
        left = std::min(left, box->GetPosition().x);
        right = std::max(right, box->GetPosition().x);
        bottom = std::min(bottom, box->GetPosition().y);
        top = std::max(top, box->GetPosition().y);
    }
    EXPECT_FLOAT_EQ(left, -24.1875f);
    EXPECT_FLOAT_EQ(right, 23.0625f);
    EXPECT_FLOAT_EQ(bottom, 14.375f);
    EXPECT_FLOAT_EQ(top, 20.0f);

    // Letters are runs of used columns, each gap exactly one empty column.
    int letters = 0, gapWidth = 0;
    for (int c = 0; c < TitleColumns; ++c) {
        bool used = false;
        for (const char* row : TitleBitmap)
            used |= row[c] == 'X';
        if (used && (c == 0 || gapWidth > 0)) {
            ++letters;
            if (c > 0)
                EXPECT_EQ(gapWidth, 1) << "before column " << c;
        }
        gapWidth = used ? 0 : gapWidth + 1;
    }
    EXPECT_EQ(letters, 8);
    EXPECT_EQ(gapWidth, 0);
}

struct CaptionCase {
    int32_t entry;
    size_t boxes;
};

void PrintTo(const CaptionCase& c, std::ostream* out)
{
    *out << "entry " << c.entry << ", " << c.boxes << " boxes";
}

class CaptionTest : public MenuTest, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(CaptionTest, CaptionIsBuiltOfStaticBoxesOnItsCells)
{
    ShowCaption(*menu, GetParam().entry);

    const std::vector<b2Body*> caption = BoxesOfKind(*menu, 5, b2_staticBody);
    EXPECT_EQ(caption.size(), GetParam().boxes);
    EXPECT_EQ(CaptionCells(*menu, 5, b2_staticBody, 0), FilledCells(CaptionBitmaps[GetParam().entry], CaptionColumns));
    for (const b2Body* box : caption)
        EXPECT_FLOAT_EQ(HalfSizeOf(box), 0.25f);
    EXPECT_EQ(BoxesOfKind(*menu, 5, b2_dynamicBody).size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Entries, CaptionTest,
                         ::testing::Values(CaptionCase{0, 44}, CaptionCase{1, 44}, CaptionCase{2, 92}, CaptionCase{3, 47}));

TEST_F(MenuTest, SelectionWrapsAroundTheFourEntries)
{
    const std::pair<int32_t, int32_t> cases[] = {{-1, 3}, {-4, 0}, {-5, 3}, {4, 0}, {5, 1}, {2, 2}};
    for (const auto& [asked, shown] : cases) {
        ShowCaption(*menu, asked);
        EXPECT_EQ(menu->selection, shown) << "asked for " << asked;
        EXPECT_EQ(CaptionCells(*menu, 5, b2_staticBody, 0), FilledCells(CaptionBitmaps[shown], CaptionColumns));
    }
}

// ---------------------------------------------------------------------------
// Moving the selection and shattering the captions

struct ShatterCase {
    const char* name;
    void (*act)(Menu&);
    int32_t pieceKind;
    b2Vec2 impulse;  // for a piece right of the middle
};

TEST_F(MenuTest, ShatteredCaptionsBecomeThrownPieces)
{
    const ShatterCase cases[] = {
        {"move", [](Menu& m) { ShowCaption(m, 1); }, 6, {4, 8}},
        {"confirmation", [](Menu& m) { ConfirmSelection(m); }, 5, {2, 10}},
    };
    for (const ShatterCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        RunUntil(120);
        c.act(*menu);

        const std::vector<b2Body*> pieces = BoxesOfKind(*menu, c.pieceKind, b2_dynamicBody);
        EXPECT_EQ(pieces.size(), 44u);
        EXPECT_EQ(CaptionCells(*menu, c.pieceKind, b2_dynamicBody, 3.75f), FilledCells(CaptionBitmaps[0], CaptionColumns));
        for (const b2Body* piece : pieces) {
            const float side = piece->GetPosition().x >= 0 ? 1.0f : -1.0f;
            const b2Vec2 v = piece->GetLinearVelocity();
            EXPECT_FLOAT_EQ(v.x, side * c.impulse.x / piece->GetMass());
            EXPECT_FLOAT_EQ(v.y, c.impulse.y / piece->GetMass());
            EXPECT_FLOAT_EQ(HalfSizeOf(piece), 0.25f);
        }
        EXPECT_EQ(menu->world->GetBodyCount(), int32_t(menu->bodies.size()));
    }
}

TEST_F(MenuTest, EitherPlayersUpKeyFromTheFirstEntryShowsExit)
{
    for (uintptr_t up : {uintptr_t('W'), uintptr_t(VK_UP)}) {
        SetUp();
        RunUntil(30);
        Key(up);
        EXPECT_EQ(menu->selection, 3);
        EXPECT_EQ(lastMoveFrame, 30u);
        EXPECT_EQ(CaptionCells(*menu, 5, b2_staticBody, 0), FilledCells(CaptionBitmaps[3], CaptionColumns));
        EXPECT_EQ(BoxesOfKind(*menu, 6, b2_dynamicBody).size(), 44u);
    }
}

TEST_F(MenuTest, MovesComeAtMostEveryThirtyFrames)
{
    struct Case {
        uint32_t secondAt;
        int32_t selection;
    };
    for (const Case c : {Case{59, 3}, Case{60, 0}}) {
        SetUp();
        RunUntil(30);
        Key('W');
        RunUntil(c.secondAt);
        Key('S');
        EXPECT_EQ(menu->selection, c.selection) << "second move at " << c.secondAt;
        EXPECT_EQ(lastMoveFrame, c.selection == 0 ? c.secondAt : 30u);
    }
}

TEST_F(MenuTest, MoveMarkSurvivesAReturnToTheMenu)
{
    RunUntil(200);
    Key('W');
    ASSERT_EQ(lastMoveFrame, 200u);

    Restart();
    RunUntil(215);
    Key('W');
    EXPECT_EQ(menu->selection, 0);
    RunUntil(230);
    Key('W');
    EXPECT_EQ(menu->selection, 3);
}

TEST_F(MenuTest, MovesAreIgnoredOnceConfirmed)
{
    RunUntil(120);
    Key(VK_SPACE);
    RunUntil(200);
    Key('S');
    EXPECT_EQ(menu->selection, 0);
    EXPECT_EQ(BoxesOfKind(*menu, 5, b2_staticBody).size(), 0u);
    EXPECT_EQ(BoxesOfKind(*menu, 6, b2_dynamicBody).size(), 0u);
}

// Joystick buttons count for the player owning the joystick, real keys for
// both players whatever their devices.
TEST_F(MenuTest, KeyMessagesOfKeyboardsAndJoysticks)
{
    struct Case {
        const char* name;
        int32_t modes[2];
        uintptr_t wParam;
        intptr_t lParam;
        int32_t selection;
    } cases[] = {
        {"owner's up button", {0, -1}, 2, JoystickFlag | 0, 3},
        {"owner's down button", {0, -1}, 3, JoystickFlag | 0, 1},
        {"second player's joystick", {-1, 1}, 2, JoystickFlag | 1, 3},
        {"joystick nobody owns", {0, -1}, 2, JoystickFlag | 1, 0},
        {"key code sent as a button", {0, -1}, 'W', JoystickFlag | 0, 0},
        {"keyboard while on a joystick", {0, 1}, 'W', 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        GameSettings.controllerMode[0] = c.modes[0];
        GameSettings.controllerMode[1] = c.modes[1];
        RunUntil(30);
        Key(c.wParam, c.lParam);
        EXPECT_EQ(menu->selection, c.selection);
    }
}

TEST_F(MenuTest, StickSendsThePlayersUpAndDownKeys)
{
    struct Case {
        int32_t lY;
        bool useAxis;
        int32_t selection;
    } cases[] = {{500, true, 1}, {-500, true, 3}, {100, true, 0}, {-100, true, 0}, {500, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lY);
        SetUp();
        GameSettings.controllerMode[1] = 0;
        GameSettings.useAxis[1] = c.useAxis;
        GameSettings.keyCodes[1][UP] = 'I';
        GameSettings.keyCodes[1][DOWN] = 'K';
        RunUntil(30);
        JoystickStateRecord state = {};
        state.lY = c.lY;
        menu->HandleMessage(MainWindow, WM_USER, 0, reinterpret_cast<intptr_t>(&state));
        EXPECT_EQ(menu->selection, c.selection);
    }
}

// ---------------------------------------------------------------------------
// Confirming

TEST_F(MenuTest, NextDuringTheOpeningOnlyEndsIt)
{
    RunUntil(50);
    Key(VK_SPACE);
    EXPECT_EQ(menu->frame, 119u);
    EXPECT_EQ(menu->confirmFrame, 0u);
    EXPECT_EQ(BoxesOfKind(*menu, 5, b2_staticBody).size(), 44u);

    menu->Update();
    EXPECT_EQ(menu->frame, 120u);
    EXPECT_FLOAT_EQ(Camera.eye.z, -50.0f);
    Key(VK_RETURN);
    EXPECT_EQ(menu->confirmFrame, 120u);
    EXPECT_EQ(BoxesOfKind(*menu, 5, b2_staticBody).size(), 0u);
}

TEST_F(MenuTest, CameraPullsBackOverTheOpening)
{
    const std::pair<uint32_t, float> cases[] = {{1, -50 * std::sin(1 / 120.0f * b2_pi / 2)},
                                                 {60, -50 * std::sin(b2_pi / 4)},
                                                 {120, -50.0f}};
    for (const auto& [frame, z] : cases) {
        RunUntil(frame);
        EXPECT_NEAR(Camera.eye.z, z, 1e-4f) << "frame " << frame;
        EXPECT_FLOAT_EQ(Camera.eye.y, 10.0f);
        EXPECT_FLOAT_EQ(Camera.target.z, 0.0f);
    }
}

TEST_F(MenuTest, ExitQuitsOneHundredAndThirtyOneFramesAfterTheConfirmation)
{
    struct Case {
        uint32_t secondConfirmAt;  // 0: none
        uint32_t updatesToQuit;
    };
    for (const Case c : {Case{0, 131}, Case{150, 31}}) {
        SCOPED_TRACE(c.secondConfirmAt);
        SetUp();
        RunUntil(120);
        Key('W');
        menu->HandleMessage(MainWindow, WM_LBUTTONDOWN, 0, ClickAt(400, 300));
        ASSERT_EQ(menu->confirmFrame, 120u);
        uint32_t updates = 0;
        do {
            if (c.secondConfirmAt != 0 && menu->frame == c.secondConfirmAt)
                Key(VK_SPACE);
            menu->Update();
            ++updates;
        } while (!QuitPosted() && updates < 200);
        EXPECT_EQ(updates, c.updatesToQuit);
        EXPECT_EQ(menu->frame, 251u);
        EXPECT_EQ(SceneRequest.nextSceneId, 0);
    }
}

TEST_F(MenuTest, GameEntriesRequestTheirModeAfterTheFade)
{
    for (int32_t entry = 0; entry < 3; ++entry) {
        SetUp();
        ShowCaption(*menu, entry);
        RunUntil(120);
        Key(VK_SPACE);
        RunUntil(250);
        EXPECT_EQ(SceneRequest.nextSceneId, 0) << entry;
        menu->Update();
        EXPECT_EQ(SceneRequest.nextSceneId, 2) << entry;
        EXPECT_EQ(SceneRequest.initArgument, entry);
        EXPECT_FALSE(QuitPosted());
    }
}

TEST_F(MenuTest, IdleMenuStartsTheDemonstration)
{
    struct Case {
        const char* name;
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        uint32_t at;
        uint32_t timeout;
    } cases[] = {
        {"untouched", 0, 0, 0, 0, 600},
        {"left click in the opening", WM_LBUTTONDOWN, 0, ClickAt(10, 10), 50, 600},
        {"unbound key", WM_KEYDOWN, 'Q', 1, 300, 900},
        {"right click", WM_RBUTTONDOWN, 0, ClickAt(10, 10), 300, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        if (c.message != 0) {
            RunUntil(c.at);
            menu->HandleMessage(MainWindow, c.message, c.wParam, c.lParam);
        }
        RunUntil(c.timeout - 1);
        EXPECT_EQ(menu->confirmFrame, 0u);
        menu->Update();
        EXPECT_EQ(menu->confirmFrame, c.timeout);
        EXPECT_EQ(menu->selection, 4);
        EXPECT_EQ(BoxesOfKind(*menu, 5, b2_staticBody).size(), 44u);  // nothing shattered

        RunUntil(c.timeout + 130);
        EXPECT_EQ(SceneRequest.nextSceneId, 0);
        menu->Update();
        EXPECT_EQ(SceneRequest.nextSceneId, 2);
        EXPECT_EQ(SceneRequest.initArgument, 3);
    }
}

// ---------------------------------------------------------------------------
// Loose pieces

TEST_F(MenuTest, BoxesBelowTheViewLeaveTheWorld)
{
    b2Body* resting = CreateMenuBox(*menu, 6, 0, 0.25f, 0, 26, -19.9f);
    CreateMenuBox(*menu, 6, 1, 0.25f, 0, 26, -20.1f);
    CreateMenuBox(*menu, 6, 1, 0.25f, 0, -26, -10);
    const size_t shown = menu->bodies.size() - 3;

    menu->Update();
    EXPECT_EQ(menu->bodies.size(), shown + 2);
    for (int i = 0; i < 60; ++i) {
        menu->Update();
        for (const b2Body* body : menu->bodies)
            EXPECT_GE(body->GetPosition().y, -20.0f);
    }
    ASSERT_EQ(menu->bodies.size(), shown + 1);
    EXPECT_EQ(menu->bodies.back(), resting);
    EXPECT_EQ(menu->world->GetBodyCount(), int32_t(menu->bodies.size()));
}

TEST_F(MenuTest, RightClickBlowsPiecesAwayWithTheDistanceClamped)
{
    // Pixel (600, 350) is the world point (20, 5).
    struct Case {
        b2Vec2 offset;
        b2Vec2 impulse;
    } cases[] = {
        {{0, 0}, {0, 0}},         // at the centre: clamped, no division by zero
        {{0.2f, 0.1f}, {200, 100}},  // r2 0.05 raised to 0.1
        {{3, 4}, {12, 16}},      // d * 100 / 25
    };
    RunUntil(120);
    std::vector<b2Body*> pieces;
    for (const Case& c : cases)
        pieces.push_back(CreateMenuBox(*menu, 6, 1, 0.25f, 0, 20 + c.offset.x, 5 + c.offset.y));
    const b2Vec2 titleBox = menu->bodies.front()->GetPosition();

    menu->HandleMessage(MainWindow, WM_RBUTTONDOWN, 0, ClickAt(600, 350));

    for (size_t i = 0; i < pieces.size(); ++i) {
        const b2Vec2 v = pieces[i]->GetLinearVelocity();
        EXPECT_NEAR(v.x, cases[i].impulse.x / pieces[i]->GetMass(), 1e-2f) << i;
        EXPECT_NEAR(v.y, cases[i].impulse.y / pieces[i]->GetMass(), 1e-2f) << i;
    }
    EXPECT_EQ(menu->lastInputFrame, 120u);
    menu->Update();
    EXPECT_EQ(menu->bodies.front()->GetPosition(), titleBox);
}

// ---------------------------------------------------------------------------
// One rendered frame

class MenuPictureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("MIRELUNE", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        MainWindow = window;
        ASSERT_TRUE(InitGraphics(true));
    }

    void SetUp() override
    {
        ASSERT_TRUE(DeviceReady);
        GameSettings = DefaultGameSettings();
        SetViewCamera(glm::vec3(0, 10, -50), glm::vec3(0, 10, 0), glm::vec3(0, 1, 0));
        menu.Init(0);
    }

    std::vector<uint8_t> DrawAndRead()
    {
        menu.Draw();
        std::vector<uint8_t> rgba(800 * 600 * 4);
        EXPECT_TRUE(ReadBackBuffer(rgba.data()));
        return rgba;
    }

    static int Brightness(const std::vector<uint8_t>& rgba, int x, int y)
    {
        if (x < 0 || y < 0 || x >= 800 || y >= 600)
            return 0;
        const uint8_t* p = &rgba[(size_t(y) * 800 + x) * 4];
        return std::max({p[0], p[1], p[2]});
    }

    // The box's right edge is drawn somewhere within a pixel or two of where it projects.
    static bool EdgeShows(const std::vector<uint8_t>& rgba, const b2Body* box, float halfSize)
    {
        const ScreenPoint edge = WorldToScreen(box->GetPosition().x + halfSize, box->GetPosition().y);
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx)
                if (Brightness(rgba, int(edge.x) + dx, int(edge.y) + dy) >= 64)
                    return true;
        return false;
    }

    struct BandLight {
        double total;
        int lit;
        double Mean() const { return lit ? total / lit : 0; }
    };

    // The light of the rows between two heights of the play plane.
    static BandLight LightBetween(const std::vector<uint8_t>& rgba, float topY, float bottomY)
    {
        BandLight light = {0, 0};
        for (int y = int(WorldToScreen(0, topY).y); y < int(WorldToScreen(0, bottomY).y); ++y)
            for (int x = 0; x < 800; ++x) {
                light.total += Brightness(rgba, x, y);
                light.lit += Brightness(rgba, x, y) > 0;
            }
        return light;
    }

    static int BrightPixelsBetween(const std::vector<uint8_t>& rgba, int top, int bottom)
    {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < 800; ++x)
                count += Brightness(rgba, x, y) >= 64;
        return count;
    }

    static SDL_Window* window;
    Menu menu;
};

SDL_Window* MenuPictureTest::window = nullptr;

TEST_F(MenuPictureTest, TitleAndCaptionShowWhereTheirBoxesAre)
{
    const std::vector<uint8_t> rgba = DrawAndRead();
    for (const b2Body* box : BoxesOfKind(menu, 0, b2_staticBody))
        EXPECT_TRUE(EdgeShows(rgba, box, 0.375f)) << box->GetPosition().x << ", " << box->GetPosition().y;
    for (const b2Body* box : BoxesOfKind(menu, 5, b2_staticBody))
        EXPECT_TRUE(EdgeShows(rgba, box, 0.25f)) << box->GetPosition().x << ", " << box->GetPosition().y;

    // Nothing between the title's lowest row and the caption's top row.
    const int titleBottom = int(WorldToScreen(0, 14.375f - 0.375f).y) + 3;
    const int captionTop = int(WorldToScreen(0, 0.25f).y) - 3;
    ASSERT_LT(titleBottom, captionTop);
    EXPECT_EQ(BrightPixelsBetween(rgba, titleBottom, captionTop), 0);
    EXPECT_GT(BrightPixelsBetween(rgba, 0, titleBottom), 1000);
    EXPECT_GT(BrightPixelsBetween(rgba, captionTop, 600), 400);
}

// Loose pieces of a move show at half the caption's strength, and both fade
// away over the 120 frames after the confirmation.
TEST_F(MenuPictureTest, PictureFadesOutAfterTheConfirmation)
{
    GameSettings.boidLine = false;  // single strokes, so that a pixel shows one line's alpha
    ShowCaption(menu, 1);
    const float piecesBand[2] = {4.1f, 0.4f};
    const float captionBand[2] = {-0.4f, -4.1f};
    std::vector<uint8_t> rgba = DrawAndRead();
    const BandLight pieces = LightBetween(rgba, piecesBand[0], piecesBand[1]);
    const BandLight caption = LightBetween(rgba, captionBand[0], captionBand[1]);
    ASSERT_GT(caption.lit, 0);
    EXPECT_NEAR(pieces.Mean() / caption.Mean(), 0.5, 0.1);

    menu.confirmFrame = 100;
    menu.frame = 160;
    rgba = DrawAndRead();
    EXPECT_NEAR(LightBetween(rgba, piecesBand[0], piecesBand[1]).total / pieces.total, 0.5, 0.1);
    EXPECT_NEAR(LightBetween(rgba, captionBand[0], captionBand[1]).total / caption.total, 0.5, 0.1);

    menu.frame = 220;
    EXPECT_EQ(LightBetween(DrawAndRead(), 30, -10).lit, 0);
}

}  // namespace
