// The Game scene's picture, rendered into real frames and read back. Most checks
// compare a region of the Game's frame with a reference frame drawn from the
// expected primitives alone: the label, icon or boxes that should be there, at the
// expected place, in the expected colour.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "game/Game.h"
#include "render/Render.h"
#include "shell/Shell.h"

extern bool FramePacing;

namespace {

constexpr int32_t Width = 800;
constexpr int32_t Height = 600;
constexpr uint32_t White = 0xFFFFFFFF;
constexpr uint32_t Centred = DT_CENTER | DT_VCENTER;

using Image = std::vector<uint8_t>;

struct Textures {
    int32_t bubble = -1;
    int32_t special = -1;
    int32_t mask = -1;
};
Textures LoadedTextures;

// One hidden window and GL context for the whole suite, as the game has.
class GraphicsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        MainWindow = SDL_CreateWindow("MIRELUNE", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(MainWindow, nullptr) << SDL_GetError();
        ASSERT_TRUE(InitGraphics(true));
        FramePacing = false;
        GameSettings = DefaultGameSettings();
        SetViewCamera({0, 10, -50}, {0, 10, 0}, {0, 1, 0});
        MiddleFont = CreateFont("Small Fonts", 32);
        SmallFont = CreateFont("Small Fonts", 16);
        LargeFont = CreateFont("Small Fonts", 40);
        ASSERT_TRUE(MiddleFont && SmallFont && LargeFont);
        LoadRunDirectoryTextures();
    }

private:
    // Loaded by the names the Game asks for, so a Game's Init finds them in the table.
    static void LoadRunDirectoryTextures()
    {
        const auto previous = std::filesystem::current_path();
        std::filesystem::current_path(MIRELUNE_RUN_DIR);
        LoadedTextures = {LoadTexture("bubble.dds"), LoadTexture("special.png"), LoadTexture("mask.bmp")};
        std::filesystem::current_path(previous);
        ASSERT_GE(LoadedTextures.bubble, 0);
        ASSERT_GE(LoadedTextures.special, 0);
        ASSERT_GE(LoadedTextures.mask, 0);
    }
};
const auto* const Environment = ::testing::AddGlobalTestEnvironment(new GraphicsEnvironment);

// ---------------------------------------------------------------------------
// Reading frames.

Image ReadFrame()
{
    Image rgba(Width * Height * 4);
    EXPECT_TRUE(ReadBackBuffer(rgba.data()));
    return rgba;
}

Image DrawnFrame(Game& game)
{
    game.Draw();
    return ReadFrame();
}

// A frame holding only what draw puts there, in the game's frame bracket.
Image ReferenceFrame(const std::function<void()>& draw)
{
    ClearFrame(0x00000000);
    BeginScene();
    draw();
    EndScene();
    PresentFrame();
    return ReadFrame();
}

const uint8_t* PixelAt(const Image& image, int32_t x, int32_t y)
{
    return &image[(y * Width + x) * 4];
}

uint8_t Brightest(const uint8_t* p)
{
    return std::max({p[0], p[1], p[2]});
}

template <typename Test>
int32_t CountPixels(RectI region, Test test)
{
    int32_t count = 0;
    for (int32_t y = region.top; y < region.bottom; ++y)
        for (int32_t x = region.left; x < region.right; ++x)
            count += test(x, y) ? 1 : 0;
    return count;
}

int32_t LitPixels(const Image& image, RectI region, uint8_t threshold = 24)
{
    return CountPixels(region, [&](int32_t x, int32_t y) { return Brightest(PixelAt(image, x, y)) > threshold; });
}

int32_t DifferentPixels(const Image& a, const Image& b, RectI region)
{
    return CountPixels(region, [&](int32_t x, int32_t y) {
        const uint8_t* p = PixelAt(a, x, y);
        const uint8_t* q = PixelAt(b, x, y);
        for (int32_t c = 0; c < 3; ++c)
            if (std::abs(p[c] - q[c]) > 2) return true;
        return false;
    });
}

uint8_t BrightestIn(const Image& image, RectI region)
{
    uint8_t brightest = 0;
    CountPixels(region, [&](int32_t x, int32_t y) {
        brightest = std::max(brightest, Brightest(PixelAt(image, x, y)));
        return false;
    });
    return brightest;
}

// The smallest rectangle holding every pixel that passes the test; empty when none does.
template <typename Test>
RectI BoundingBox(Test test)
{
    RectI box = {Width, Height, 0, 0};
    CountPixels({0, 0, Width, Height}, [&](int32_t x, int32_t y) {
        if (!test(x, y)) return false;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
        return true;
    });
    return box;
}

bool Inside(RectI inner, RectI outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The region shows what the reference shows, and the reference shows something.
void ExpectRegionMatches(const Image& frame, const Image& reference, RectI region)
{
    EXPECT_GT(LitPixels(reference, region), 0) << "the reference draws nothing here";
    EXPECT_LE(DifferentPixels(frame, reference, region), 2);
}

// Where two frames differ lies inside what the reference label lights.
void ExpectDifferenceIsLabel(const Image& shown, const Image& hidden, const Image& label)
{
    const RectI changed = BoundingBox([&](int32_t x, int32_t y) {
        const uint8_t* p = PixelAt(shown, x, y);
        const uint8_t* q = PixelAt(hidden, x, y);
        return std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 24;
    });
    const RectI lit = BoundingBox([&](int32_t x, int32_t y) { return Brightest(PixelAt(label, x, y)) > 24; });
    ASSERT_LT(changed.left, changed.right) << "the two frames are the same";
    ASSERT_LT(lit.left, lit.right);
    const RectI grown = {lit.left - 1, lit.top - 1, lit.right + 1, lit.bottom + 1};
    EXPECT_TRUE(Inside(changed, grown)) << changed.left << "," << changed.top << "-" << changed.right << ","
                                        << changed.bottom << " outside " << lit.left << "," << lit.top << "-"
                                        << lit.right << "," << lit.bottom;
}

// The boxes of the overlays, drawn as the overlays draw them.
void ReferenceBox(float x, float y, float s, uint32_t colour)
{
    DrawLine3D(colour, {x - s, y - s, 0}, {x + s, y - s, 0});
    DrawLine3D(colour, {x + s, y - s, 0}, {x + s, y + s, 0});
    DrawLine3D(colour, {x + s, y + s, 0}, {x - s, y + s, 0});
    DrawLine3D(colour, {x - s, y + s, 0}, {x - s, y - s, 0});
}

void ReferenceSprite(int32_t texture, uint32_t colour, RectI destination, RectI source)
{
    BeginSprites();
    DrawTexture(texture, colour, destination, source);
    EndSprites();
}

// Without a device for the duration of one scope, as a run without graphics has.
struct NoDevice {
    NoDevice() { DeviceReady = false; }
    ~NoDevice() { DeviceReady = true; }
};

// ---------------------------------------------------------------------------
// A Game with an empty field of its own: the container bodies have no shapes, so
// each test puts into the picture exactly what it looks at.

class GameDrawTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        game.world = std::make_unique<b2World>(b2Vec2(0.0f, -40.0f));
        game.floorBody = EmptyBody();
        game.wallBody = EmptyBody();
        game.dividerBody = EmptyBody();
        game.bubbleTexture = LoadedTextures.bubble;
        game.specialTexture = LoadedTextures.special;
        game.maskTexture = LoadedTextures.mask;
        blinkVisible = false;
    }

    b2Body* EmptyBody()
    {
        b2BodyDef definition;
        return game.world->CreateBody(&definition);
    }

    b2Body* AddBlock(int64_t kind, float x, float y)
    {
        b2BodyDef definition;
        definition.type = b2_dynamicBody;
        definition.position.Set(x, y);
        b2Body* body = game.world->CreateBody(&definition);
        b2PolygonShape box;
        box.SetAsBox(1.0f, 1.0f);
        b2FixtureDef fixture;
        fixture.shape = &box;
        fixture.density = 2.0f;
        fixture.userData.pointer = static_cast<uintptr_t>(kind);
        body->CreateFixture(&fixture);
        game.blocks.push_back(body);
        return body;
    }

    Game game;
};

// ---------------------------------------------------------------------------
// Sparks.

TEST_F(GameDrawTest, SparkIsDrawnAtItsOldPlaceThenMovesWithDragAndGravity)
{
    game.particles.push_back({{0.0f, 10.0f, 0.0f}, {0.5f, 1.0f, 0.25f}, 16, 0xFFFF8000});
    const Image frame = DrawnFrame(game);

    const Image reference = ReferenceFrame(
        [] { ReferenceSprite(LoadedTextures.bubble, 0xFFFF8000, {392, 292, 408, 308}, {0, 0, 32, 32}); });
    ExpectRegionMatches(frame, reference, {388, 288, 412, 312});
    EXPECT_EQ(LitPixels(reference, {388, 288, 412, 312}), LitPixels(reference, {392, 292, 408, 308}));

    ASSERT_EQ(game.particles.size(), 1u);
    const Particle& spark = game.particles[0];
    EXPECT_FLOAT_EQ(spark.position.x, 0.5f);
    EXPECT_FLOAT_EQ(spark.position.y, 11.0f);
    EXPECT_FLOAT_EQ(spark.position.z, 0.25f);
    EXPECT_FLOAT_EQ(spark.velocity.x, 0.5f * 0.99f);
    EXPECT_FLOAT_EQ(spark.velocity.y, 1.0f * 0.99f - 0.05f);
    EXPECT_FLOAT_EQ(spark.velocity.z, 0.25f * 0.99f);
    EXPECT_EQ(spark.life, 15u);
}

TEST_F(GameDrawTest, WithoutDeviceSparksStillAgeAndNothingIsDrawn)
{
    game.particles.push_back({{0.0f, 10.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, 16, White});
    const Image before = DrawnFrame(game);
    ASSERT_GT(LitPixels(before, {390, 290, 410, 310}), 0);

    const glm::vec3 still(0.0f);
    game.particles = {{{-5, 5, 0}, still, 1, White}, {{-3, 5, 0}, still, 1, White}, {{3, 5, 0}, still, 5, White}};
    AddBlock(1, -10.0f, 5.0f);
    game.frame = 400;
    {
        NoDevice headless;
        game.Draw();
    }
    ASSERT_EQ(game.particles.size(), 1u);
    EXPECT_EQ(game.particles[0].life, 4u);
    EXPECT_FLOAT_EQ(game.particles[0].position.x, 3.0f);
    EXPECT_EQ(DifferentPixels(ReadFrame(), before, {0, 0, Width, Height}), 0);
}

// ---------------------------------------------------------------------------
// Special blocks: icon or bomb seconds on the body's origin, in a 24 x 24 square.

struct SpecialCase {
    const char* name;
    int64_t kind;
    int32_t framesLeft;  // a burning bomb record when not negative
    std::function<void()> reference;
};

void PrintTo(const SpecialCase& special, std::ostream* out) { *out << special.name; }

class SpecialBlockTest : public GameDrawTest, public ::testing::WithParamInterface<SpecialCase> {};

constexpr RectI IconAtFiveTwelve = {460, 259, 484, 283};

TEST_P(SpecialBlockTest, MarkSitsInItsSquare)
{
    const SpecialCase& special = GetParam();
    b2Body* block = AddBlock(special.kind, 5.0f, 12.0f);
    if (special.framesLeft >= 0) game.bombs.push_back({special.framesLeft, block});
    const Image frame = DrawnFrame(game);
    if (!special.reference) {
        EXPECT_EQ(LitPixels(frame, IconAtFiveTwelve), 0);
        return;
    }
    ExpectRegionMatches(frame, ReferenceFrame(special.reference), IconAtFiveTwelve);
}

void SecondsLabel(const Font* font, const char* text, uint32_t colour)
{
    DrawLabel(font, text, IconAtFiveTwelve, Centred, colour);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialBlockTest,
    ::testing::Values(
        SpecialCase{"PaintTakesItsColoursCell", PaintFlag | 2, -1,
                    [] { ReferenceSprite(LoadedTextures.special, White, IconAtFiveTwelve, {64, 64, 127, 127}); }},
        SpecialCase{"ColourBombIsTinted", BombFlag | 3, -1,
                    [] {
                        ReferenceSprite(LoadedTextures.special, BlockColours[3], IconAtFiveTwelve, {64, 0, 127, 63});
                    }},
        SpecialCase{"UnlitTimedBombHasNoNumber", TimerFlag, -1, nullptr},
        SpecialCase{"TwentySecondsSmallWhite", TimerFlag, 1140, [] { SecondsLabel(SmallFont, "20", White); }},
        SpecialCase{"TenSecondsSmallWhite", TimerFlag, 540, [] { SecondsLabel(SmallFont, "10", White); }},
        SpecialCase{"NineSecondsMiddleWhite", TimerFlag, 539, [] { SecondsLabel(MiddleFont, "9", White); }},
        SpecialCase{"ThreeSecondsRed", TimerFlag, 179, [] { SecondsLabel(MiddleFont, "3", 0xFFFF0000); }},
        SpecialCase{"LastSecondRed", TimerFlag, 0, [] { SecondsLabel(MiddleFont, "1", 0xFFFF0000); }}),
    [](const ::testing::TestParamInfo<SpecialCase>& info) { return std::string(info.param.name); });

TEST_F(GameDrawTest, PiecesCarryTheirPlayersMark)
{
    game.currentPiece[0] = AddBlock(1, -10.0f, 5.0f);
    game.currentPiece[1] = AddBlock(2, 10.0f, 5.0f);
    const Image frame = DrawnFrame(game);
    const RectI left = {245, 362, 265, 382};
    const RectI right = {534, 362, 554, 382};
    const Image reference = ReferenceFrame([&] {
        DrawLabel(SmallFont, "1P", left, Centred, White);
        DrawLabel(SmallFont, "2P", right, Centred, White);
    });
    ExpectRegionMatches(frame, reference, left);
    ExpectRegionMatches(frame, reference, right);
}

// ---------------------------------------------------------------------------
// The leave flicker and the centre line.

TEST_F(GameDrawTest, LeaveFlickerSpeedsUpThenStaysBlack)
{
    const std::vector<std::pair<uint32_t, uint32_t>> shown = {{1000, 1014}, {1027, 1035}, {1044, 1049}, {1055, 1058}};
    game.quitFrame = 1000;
    NoDevice headless;
    for (game.frame = 1000; game.frame < 1100; ++game.frame) {
        game.Draw();
        const bool expected = std::any_of(shown.begin(), shown.end(), [&](const auto& range) {
            return game.frame >= range.first && game.frame <= range.second;
        });
        EXPECT_EQ(blinkVisible && game.frame - game.quitFrame <= 60, expected) << "frame " << game.frame;
    }
}

TEST_F(GameDrawTest, LeaveFlickerPresentsBlackFrames)
{
    AddBlock(1, -10.0f, 5.0f);
    game.quitFrame = 1000;
    game.blinkFrame = 1000;
    blinkVisible = true;
    game.frame = 1014;
    EXPECT_GT(LitPixels(DrawnFrame(game), {0, 0, Width, Height}), 0);
    game.frame = 1015;
    EXPECT_EQ(LitPixels(DrawnFrame(game), {0, 0, Width, Height}, 0), 0);
    EXPECT_FALSE(blinkVisible);
    EXPECT_EQ(game.blinkFrame, 1015u);

    // A second after leaving began the flicker still toggles, but only black is shown.
    game.blinkFrame = 1059;
    game.frame = 1062;
    EXPECT_EQ(LitPixels(DrawnFrame(game), {0, 0, Width, Height}, 0), 0);
    EXPECT_TRUE(blinkVisible);
}

struct CentreLineCase {
    uint32_t frame;
    float length;  // half length in world units; 0 draws nothing
};

void PrintTo(const CentreLineCase& line, std::ostream* out) { *out << "frame " << line.frame; }

class CentreLineTest : public GameDrawTest, public ::testing::WithParamInterface<CentreLineCase> {};

// The line lies at z = 1, one unit behind the play plane, so its top is seen from 51 units.
TEST_P(CentreLineTest, GrowsWithTheOpening)
{
    game.frame = GetParam().frame;
    const Image frame = DrawnFrame(game);
    const RectI column = {398, 0, 403, Height};
    if (GetParam().length == 0.0f) {
        EXPECT_EQ(LitPixels(frame, column, 8), 0);
        return;
    }
    const double halfHeight = 51.0 * std::tan(0.39269908);
    const double expectedTop = std::max(0.0, 300.0 - (GetParam().length - 10.0) / halfHeight * 300.0);
    int32_t top = 0;
    while (top < Height && LitPixels(frame, {398, top, 403, top + 1}, 8) == 0) ++top;
    EXPECT_NEAR(top, expectedTop, 2.0);
    EXPECT_GT(LitPixels(frame, {398, Height - 1, 403, Height}, 8), 0);
    EXPECT_LE(BrightestIn(frame, column), 128);
}

INSTANTIATE_TEST_SUITE_P(OpeningFrames, CentreLineTest,
                         ::testing::Values(CentreLineCase{0, 0.0f}, CentreLineCase{60, 21.2132f},
                                           CentreLineCase{119, 29.9974f}, CentreLineCase{120, 100.0f}));

// ---------------------------------------------------------------------------
// Chain counters and their bars.

struct ComboCase {
    const char* name;
    int32_t player;
    uint32_t running;      // chainCleared
    int32_t settled;       // lastChainSize
    uint32_t sinceClear;   // frames since the last clear
    const char* text;
    uint32_t colour;
};

void PrintTo(const ComboCase& combo, std::ostream* out) { *out << combo.name; }

class ComboCounterTest : public GameDrawTest, public ::testing::WithParamInterface<ComboCase> {};

TEST_P(ComboCounterTest, CountIsDrawnTwiceInItsColour)
{
    const ComboCase& combo = GetParam();
    game.chainCleared[combo.player] = combo.running;
    game.lastChainSize[combo.player] = combo.settled;
    game.lastClearFrame[combo.player] = 10;
    game.frame = 10 + combo.sinceClear;
    const Image frame = DrawnFrame(game);
    const uint32_t format = combo.player == 0 ? DT_LEFT : DT_RIGHT;
    const Image reference = ReferenceFrame([&] {
        DrawLabel(MiddleFont, combo.text, {5, 5, 795, 200}, format, combo.colour);
        DrawLabel(MiddleFont, combo.text, {5, 5, 795, 200}, format, combo.colour);
    });
    ExpectRegionMatches(frame, reference, {0, 0, Width, 39});
}

INSTANTIATE_TEST_SUITE_P(
    Chains, ComboCounterTest,
    ::testing::Values(ComboCase{"TwentyIsWhite", 0, 20, 0, 5, "20 COMBO!!", 0xFFFFFFFF},
                      ComboCase{"TwentyOneIsRed", 0, 21, 0, 5, "21 COMBO!!", 0xFFFF0000},
                      ComboCase{"SettledChainFades", 1, 0, 25, 80, "25 COMBO!!", 0xAAFF0000}),
    [](const ::testing::TestParamInfo<ComboCase>& info) { return std::string(info.param.name); });

TEST_F(GameDrawTest, SettledCounterIsGoneAfterTwoSeconds)
{
    game.lastChainSize[1] = 25;
    game.lastClearFrame[1] = 0;
    game.frame = 119;
    EXPECT_GT(LitPixels(DrawnFrame(game), {405, 0, Width, 39}, 2), 0);
    game.frame = 120;
    const Image frame = DrawnFrame(game);
    EXPECT_EQ(LitPixels(frame, {0, 0, 395, 39}, 0) + LitPixels(frame, {405, 0, Width, 39}, 0), 0);
}

TEST_F(GameDrawTest, ChainBarsShrinkTowardTheScreenEdges)
{
    for (int32_t p = 0; p < 2; ++p) {
        game.chainCleared[p] = 5;
        game.lastClearFrame[p] = 100;
    }
    game.frame = 105;
    const Image frame = DrawnFrame(game);
    const Image reference = ReferenceFrame([] {
        BeginSprites();
        DrawTexture(LoadedTextures.mask, White, {5, 40, 137, 45}, {0, 0, 1, 1});
        DrawTexture(LoadedTextures.mask, White, {658, 40, 795, 45}, {0, 0, 1, 1});
        EndSprites();
    });
    ExpectRegionMatches(frame, reference, {0, 39, 395, 47});
    ExpectRegionMatches(frame, reference, {405, 39, Width, 47});
    EXPECT_EQ(BrightestIn(frame, {6, 41, 136, 44}), 255);
}

// ---------------------------------------------------------------------------
// Fill percentages.

TEST_F(GameDrawTest, FillPercentagesAppearAfterTheOpening)
{
    game.fill[0] = 12.5f;
    game.fill[1] = 33.25f;
    const RectI left = {0, 0, 395, 45};
    const RectI right = {405, 0, Width, 45};
    game.frame = 120;
    const Image opening = DrawnFrame(game);
    EXPECT_EQ(LitPixels(opening, left) + LitPixels(opening, right), 0);

    game.frame = 121;
    const Image frame = DrawnFrame(game);
    const Image reference = ReferenceFrame([] {
        DrawLabel(MiddleFont, "12.50%", {0, 5, 400, 600}, DT_CENTER, White);
        DrawLabel(MiddleFont, "33.25%", {400, 5, 800, 600}, DT_CENTER, White);
    });
    ExpectRegionMatches(frame, reference, left);
    ExpectRegionMatches(frame, reference, right);
}

// ---------------------------------------------------------------------------
// Attack columns and next pieces: line boxes in the play plane.

struct Stack {
    float x;
    float firstCentre;
    float halfSize;
    int32_t boxes;
};

struct ColumnCase {
    const char* name;
    int32_t pending[2];
    uint32_t leftChainCleared;
    uint32_t leftChainColours;
    uint32_t frame;
    std::vector<Stack> stacks;
};

void PrintTo(const ColumnCase& column, std::ostream* out) { *out << column.name; }

class AttackColumnTest : public GameDrawTest, public ::testing::WithParamInterface<ColumnCase> {};

TEST_P(AttackColumnTest, BoxesStandWhereTheyShould)
{
    const ColumnCase& column = GetParam();
    game.pendingAttack[0] = column.pending[0];
    game.pendingAttack[1] = column.pending[1];
    game.chainCleared[0] = column.leftChainCleared;
    game.chainColours[0] = column.leftChainColours;
    game.lastClearFrame[0] = column.frame;
    game.frame = column.frame;
    const Image frame = DrawnFrame(game);
    const Image reference = ReferenceFrame([&] {
        for (const Stack& stack : column.stacks)
            for (int32_t i = 0; i < stack.boxes; ++i)
                ReferenceBox(stack.x, stack.firstCentre - 2.0f * (stack.halfSize + 0.1f) * i, stack.halfSize, White);
    });
    const RectI right = {730, 47, Width, Height};
    const RectI left = {0, 47, 70, Height};
    for (const RectI region : {left, right}) {
        EXPECT_LE(DifferentPixels(frame, reference, region), 4);
        EXPECT_EQ(LitPixels(frame, region) > 0, LitPixels(reference, region) > 0);
    }
}

// A left chain of 35 with colour 4 in it previews 48; one of 47 without colours previews 4.
INSTANTIATE_TEST_SUITE_P(
    Attacks, AttackColumnTest,
    ::testing::Values(ColumnCase{"OwedAttackAsSmallBoxes", {3, 0}, 0, 0, 15, {{25.0f, 26.8f, 0.5f, 3}}},
                      ColumnCase{"ThirtyTwoOwedStaySmall", {32, 0}, 0, 0, 15, {{25.0f, 26.8f, 0.5f, 32}}},
                      ColumnCase{"ThirtyThreeOwedAreBig", {0, 33}, 0, 0, 15, {{-25.0f, 25.8f, 1.0f, 8}}},
                      ColumnCase{"RunningChainBlinksOnAsBigBoxes",
                                 {3, 0},
                                 35,
                                 1u << 4,
                                 15,
                                 {{25.0f, 26.8f, 0.5f, 3}, {25.0f, 22.2f, 1.0f, 12}}},
                      ColumnCase{"RunningChainBlinksOff", {3, 0}, 35, 1u << 4, 14, {{25.0f, 26.8f, 0.5f, 3}}},
                      ColumnCase{"OpponentsChainCancelsPartOfTheOwed", {0, 40}, 47, 0, 15,
                                 {{-25.0f, 25.8f, 1.0f, 9}}}),
    [](const ::testing::TestParamInfo<ColumnCase>& info) { return std::string(info.param.name); });

TEST_F(GameDrawTest, NextPiecesStandInsideThePillar)
{
    const int64_t kinds[2][4] = {{1, 2, 3, 4}, {4, 3, 2, 5}};
    std::copy(&kinds[0][0], &kinds[0][0] + 8, &game.nextKinds[0][0]);
    const RectI pillar = {340, 140, 460, 360};
    for (const int32_t mode : {0, 2}) {
        game.mode = mode;
        const Image frame = DrawnFrame(game);
        const Image reference = ReferenceFrame([&] {
            for (int32_t p = 0; p < (mode == 2 ? 1 : 2); ++p)
                for (int32_t k = 0; k < 4; ++k)
                    ReferenceBox(p == 0 ? -1.75f : 1.75f, k == 0 ? 15.0f : 13.0f - 1.7f * k, 0.75f,
                                 BlockColours[kinds[p][k]]);
        });
        ExpectRegionMatches(frame, reference, pillar);
    }
}

// ---------------------------------------------------------------------------
// The countdown: a single digit over the centre line, between the pillar's boxes.

TEST_F(GameDrawTest, CountdownCountsThreeTwoOneBeforePlay)
{
    const std::vector<std::pair<uint32_t, const char*>> cases = {
        {120, nullptr}, {121, "3"}, {180, "3"}, {181, "2"}, {241, "1"}, {299, "1"}, {300, nullptr}};
    const RectI middle = {388, 270, 412, 330};
    for (const auto& [frameNumber, digit] : cases) {
        game.frame = frameNumber;
        const Image frame = DrawnFrame(game);
        const Image reference = ReferenceFrame([digit = digit] {
            DrawLine3D(0x80FFFFFF, {0, -100, 1}, {0, 100, 1});
            if (digit) DrawLabel(MiddleFont, digit, {0, 0, 800, 600}, Centred, White);
        });
        EXPECT_LE(DifferentPixels(frame, reference, middle), 2) << "frame " << frameNumber;
    }
}

// ---------------------------------------------------------------------------
// Single-player texts.

class SinglePlayerTest : public GameDrawTest {
protected:
    void SetUp() override
    {
        GameDrawTest::SetUp();
        game.mode = 2;
        game.level = 3;
        game.score = 1234;
        game.highScore = 1000;
    }
};

TEST_F(SinglePlayerTest, ScoreLinesShowRecordAboveScore)
{
    game.frame = 390;
    const RectI lines = {500, 95, Width, 170};
    const Image reference = ReferenceFrame(
        [] { DrawLabel(MiddleFont, "000001000\n000001234\n", {500, 100, 800, 600}, DT_LEFT, White); });
    ExpectRegionMatches(DrawnFrame(game), reference, lines);
}

TEST_F(SinglePlayerTest, LevelBlinksAtTheStartOfPlay)
{
    game.score = 0;
    game.frame = 360;
    const Image shown = DrawnFrame(game);
    game.frame = 390;
    const Image hidden = DrawnFrame(game);
    const Image label = ReferenceFrame([] { DrawLabel(MiddleFont, "LEVEL 3", {0, 0, 800, 600}, Centred, White); });
    ExpectDifferenceIsLabel(shown, hidden, label);
    game.frame = 480;
    EXPECT_EQ(DifferentPixels(DrawnFrame(game), hidden, {0, 0, Width, Height}), 0);
}

TEST_F(SinglePlayerTest, HighScoreBlinksWhileBeaten)
{
    const RectI quarter = {405, 295, 750, 350};
    const Image reference =
        ReferenceFrame([] { DrawLabel(LargeFont, "HIGH SCORE!!", {400, 300, 750, 600}, DT_CENTER, White); });
    game.frame = 480;
    ExpectRegionMatches(DrawnFrame(game), reference, quarter);
    game.frame = 510;
    EXPECT_EQ(LitPixels(DrawnFrame(game), quarter), 0);
    game.frame = 480;
    game.score = 1000;
    EXPECT_EQ(LitPixels(DrawnFrame(game), quarter), 0);
}

// ---------------------------------------------------------------------------
// Results and pause screens.

class EndScreensTest : public GameDrawTest {
protected:
    void SetUp() override
    {
        GameDrawTest::SetUp();
        game.gameOverFrame = 700;
    }

    // The next-piece boxes stand in the middle; the dim halves their brightness.
    static uint8_t MiddleBrightness(const Image& frame) { return BrightestIn(frame, {340, 140, 460, 360}); }
};

TEST_F(EndScreensTest, ResultsDimThePictureAndDecideEachHalf)
{
    game.fill[0] = 85.0f;
    game.fill[1] = 40.0f;
    game.menuCursor = 1;
    const uint8_t undimmed = MiddleBrightness(DrawnFrame(game));
    game.resultsShown = true;
    const Image frame = DrawnFrame(game);
    EXPECT_NEAR(MiddleBrightness(frame), undimmed / 2.0, 3.0);

    const Image reference = ReferenceFrame([] {
        DrawLabel(LargeFont, "LOSE...", {0, 5, 400, 600}, Centred, 0xFF0000FF);
        DrawLabel(LargeFont, "WIN!!", {400, 5, 800, 600}, Centred, 0xFFFF0000);
        DrawLabel(MiddleFont, "RETURN TO MAIN MENU", {0, 405, 800, 435}, Centred, 0x80FFFFFF);
        DrawLabel(MiddleFont, "RETRY", {0, 375, 800, 405}, Centred, White);
    });
    ExpectRegionMatches(frame, reference, {0, 200, 340, 370});
    ExpectRegionMatches(frame, reference, {460, 200, Width, 370});
    ExpectRegionMatches(frame, reference, {0, 370, Width, 440});
}

TEST_F(EndScreensTest, SinglePlayerResultsSayGameOverOnlyForAFullField)
{
    game.mode = 2;
    game.resultsShown = true;
    game.fill[0] = 79.0f;
    const Image menuOnly = DrawnFrame(game);
    game.fill[0] = 80.0f;
    const Image over = DrawnFrame(game);
    const Image label =
        ReferenceFrame([] { DrawLabel(LargeFont, "GAME OVER...", {0, 0, 800, 600}, Centred, White); });
    ExpectDifferenceIsLabel(over, menuOnly, label);
}

TEST_F(EndScreensTest, PauseShowsThreeItemsAndBlinksByTheClock)
{
    static uint32_t now = 0;
    ClockSource = [] { return now; };
    game.paused = true;
    game.menuCursor = 2;
    now = 10250;
    const Image shown = DrawnFrame(game);
    now = 10750;
    const Image hidden = DrawnFrame(game);
    ClockSource = nullptr;

    const Image items = ReferenceFrame([] {
        DrawLabel(MiddleFont, "RETURN TO MAIN MENU", {0, 435, 800, 465}, Centred, 0x80FFFFFF);
        DrawLabel(MiddleFont, "RETRY", {0, 405, 800, 435}, Centred, 0x80FFFFFF);
        DrawLabel(MiddleFont, "CONTINUE", {0, 375, 800, 405}, Centred, White);
    });
    ExpectRegionMatches(shown, items, {0, 370, Width, 470});
    const Image title = ReferenceFrame([] { DrawLabel(LargeFont, "PAUSE", {0, 0, 800, 600}, Centred, White); });
    ExpectDifferenceIsLabel(shown, hidden, title);
}

// ---------------------------------------------------------------------------
// A Game set up by its own Init draws the container it built.

TEST(GameDrawInitTest, InitialisedGameShowsItsContainer)
{
    const auto previous = std::filesystem::current_path();
    const auto directory = std::filesystem::temp_directory_path() / ("gamedraw-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    {
        Game game;
        game.Init(0);
        EXPECT_EQ(game.bubbleTexture, LoadedTextures.bubble);
        EXPECT_EQ(game.specialTexture, LoadedTextures.special);
        EXPECT_EQ(game.maskTexture, LoadedTextures.mask);
        const Image frame = DrawnFrame(game);
        EXPECT_GT(LitPixels(frame, {346, 400, 352, 401}), 0) << "divider's left face at x -3.5";
        EXPECT_GT(LitPixels(frame, {107, 400, 113, 401}), 0) << "left wall's inner face at x -20";
        EXPECT_GT(LitPixels(frame, {200, 586, 201, 593}), 0) << "floor's top at y -10";
        EXPECT_EQ(LitPixels(frame, {200, 400, 300, 500}), 0) << "an empty left field";
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(directory);
}

}  // namespace
