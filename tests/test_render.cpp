// The drawing primitives, rendered into real frames (Mesa through SDL's offscreen
// driver, no X server needed) and read back: where lines, sprites and labels land
// and in which colours. Also the DDS reader on its own and the generated images.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_image.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "render/Render.h"
#include "shell/Shell.h"

namespace {

constexpr int32_t Width = 800;
constexpr int32_t Height = 600;
constexpr uint32_t White = 0xFFFFFFFF;

struct Rgba {
    uint8_t r, g, b, a;
};

struct Box {
    int32_t left, top, right, bottom;  // right and bottom exclusive
    bool operator==(const Box& other) const
    {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

// One frame read back, top row first.
struct Picture {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(Width * Height * 4);

    Rgba At(int32_t x, int32_t y) const
    {
        const uint8_t* p = &bytes[(size_t(y) * Width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    bool Lit(int32_t x, int32_t y) const
    {
        const Rgba p = At(x, y);
        return p.r > 8 || p.g > 8 || p.b > 8;
    }
    // The smallest box holding every lit pixel of the area; empty when none is lit.
    Box Ink(Box area = {0, 0, Width, Height}) const
    {
        Box ink = {Width, Height, 0, 0};
        for (int32_t y = area.top; y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x)
                if (Lit(x, y))
                    ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1),
                           std::max(ink.bottom, y + 1)};
        return ink;
    }
    bool Dark(Box area) const
    {
        const Box ink = Ink(area);
        return ink.left >= ink.right;
    }
    uint8_t MaxChannel(Box area, int channel) const
    {
        uint8_t maximum = 0;
        for (int32_t y = area.top; y < area.bottom; ++y)
            for (int32_t x = area.left; x < area.right; ++x)
                maximum = std::max(maximum, bytes[(size_t(y) * Width + x) * 4 + channel]);
        return maximum;
    }
};

// The GL device on a hidden 800 x 600 window, opened once per process.
bool OpenDevice()
{
    static const bool opened = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        if (SDL_Init(SDL_INIT_VIDEO) != 0)
            return false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        MainWindow = SDL_CreateWindow("MIRELUNE", 0, 0, Width, Height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        FramePacing = false;
        return InitGraphics(true);
    }();
    return opened;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenDevice()) << SDL_GetError();
        GameSettings = DefaultGameSettings();
        SetViewCamera({0, 10, -50}, {0, 10, 0}, {0, 1, 0});
    }

    static Picture Frame(const std::function<void()>& draw)
    {
        ClearFrame(0);
        BeginScene();
        draw();
        EndScene();
        PresentFrame();
        Picture picture;
        EXPECT_TRUE(ReadBackBuffer(picture.bytes.data()));
        return picture;
    }
};

void ExpectColour(Rgba actual, Rgba expected, int tolerance = 1)
{
    EXPECT_NEAR(actual.r, expected.r, tolerance);
    EXPECT_NEAR(actual.g, expected.g, tolerance);
    EXPECT_NEAR(actual.b, expected.b, tolerance);
}

// ---------------------------------------------------------------------------
// DDS files for the tests

// A DDS file of one or more levels: the header, then the given data.
std::vector<uint8_t> DdsFile(uint32_t width, uint32_t height, uint32_t fourCc, uint32_t masks[4],
                             const std::vector<uint8_t>& data, uint32_t mipLevels = 1)
{
    uint32_t header[31] = {124, 0x1007 | (mipLevels > 1 ? 0x20000u : 0u), height, width, 0, 0, mipLevels};
    header[18] = 32;
    header[19] = fourCc ? 0x4 : (masks[3] ? 0x41 : 0x40);
    header[20] = fourCc;
    header[21] = fourCc ? 0 : 32;
    for (int i = 0; i < 4 && !fourCc; ++i)
        header[22 + i] = masks[i];
    header[26] = 0x1000;
    std::vector<uint8_t> bytes = {'D', 'D', 'S', ' '};
    for (uint32_t field : header)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(uint8_t(field >> shift));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

constexpr uint32_t Dxt1 = 0x31545844;
constexpr uint32_t Dxt3 = 0x33545844;
constexpr uint32_t Dxt5 = 0x35545844;

uint32_t NoMasks[4] = {0, 0, 0, 0};
uint32_t Argb[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
uint32_t Xrgb[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
uint32_t Abgr[4] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};

// Red 0xF800 and blue 0x001F, texel i of each row using palette entry i.
const std::vector<uint8_t> ColourBlock = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
// The same colours the other way round: a DXT1 block of three colours and transparency.
const std::vector<uint8_t> ThreeColourBlock = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
// Solid green.
const std::vector<uint8_t> GreenBlock = {0xE0, 0x07, 0xE0, 0x07, 0, 0, 0, 0};

std::vector<uint8_t> Joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// ---------------------------------------------------------------------------
// Lines and outlines

struct LineColourCase {
    uint32_t colour;
    int32_t times;  // drawn over itself this often
    Rgba shown;     // over black
};

TEST_F(RenderTest, LinesShowTheirColourScaledByTheAmbientWithTheirAlpha)
{
    const LineColourCase cases[] = {
        {White, 1, {128, 128, 128, 255}},
        {0xFFFF0000, 1, {128, 0, 0, 255}},
        {0xFF00FFFF, 1, {0, 128, 128, 255}},
        {BlockColours[6], 1, {64, 64, 64, 255}},
        {BlockColours[6], 2, {96, 96, 96, 255}},  // at the same depth it blends again
    };
    GameSettings.boidLine = false;
    for (const LineColourCase& c : cases) {
        const Picture picture = Frame([&] {
            for (int32_t i = 0; i < c.times; ++i)
                DrawLine3D(c.colour, {-10, 10, 0}, {10, 10, 0});
        });
        SCOPED_TRACE(testing::Message() << std::hex << c.colour);
        ExpectColour(picture.At(400, 300), c.shown);
    }
}

// Rows lit across a horizontal line at x = 400: one for a plain line; the bold
// strokes sit about 0.6 pixel to each side, whatever the line's distance from the eye.
TEST_F(RenderTest, BoldLinesAreWiderByTheSameAmountAtAnyDepth)
{
    struct Case {
        bool bold;
        float eyeZ, lineZ;
        int32_t minimumRows, maximumRows;
    } const cases[] = {{false, -50, 0, 1, 1}, {false, -5, 0, 1, 1}, {true, -50, 0, 2, 3},
                       {true, -50, 50, 2, 3}, {true, -5, 0, 2, 3}};
    for (const Case& c : cases) {
        GameSettings.boidLine = c.bold;
        SetViewCamera({0, 10, c.eyeZ}, {0, 10, 0}, {0, 1, 0});
        const float y = 10 + 0.3f * (c.lineZ - c.eyeZ) / 50;
        const Picture picture = Frame([&] { DrawLine3D(White, {-30, y, c.lineZ}, {30, y, c.lineZ}); });
        const Box ink = picture.Ink({400, 250, 401, 350});
        SCOPED_TRACE(testing::Message() << "bold " << c.bold << " eye " << c.eyeZ << " line " << c.lineZ);
        EXPECT_GE(ink.bottom - ink.top, c.minimumRows);
        EXPECT_LE(ink.bottom - ink.top, c.maximumRows);
    }
}

// A box turned a quarter turn about its own origin, then moved: the long side
// stands upright at the body's position, and the closing edge (vertex 3 back to
// vertex 0) is drawn like the others.
TEST_F(RenderTest, BodyOutlinesAreRotatedAboutTheBodyThenMoved)
{
    GameSettings.boidLine = false;
    b2World world(b2Vec2(0, -10));
    b2BodyDef definition;
    definition.position.Set(5, 12);
    definition.angle = b2_pi / 2;
    b2Body* body = world.CreateBody(&definition);
    b2PolygonShape box;
    box.SetAsBox(3, 1);
    const b2Fixture* fixture = body->CreateFixture(&box, 0);

    const Picture picture = Frame([&] { DrawShapeOutline(fixture, BodyWorldMatrix(body), White); });
    const ScreenPoint topLeft = WorldToScreen(4, 15);
    const ScreenPoint bottomRight = WorldToScreen(6, 9);
    const Box ink = picture.Ink();
    EXPECT_NEAR(ink.left, topLeft.x, 1.5);
    EXPECT_NEAR(ink.right, bottomRight.x, 1.5);
    EXPECT_NEAR(ink.top, topLeft.y, 1.5);
    EXPECT_NEAR(ink.bottom, bottomRight.y, 1.5);
    const int32_t middleY = int32_t(WorldToScreen(5, 12).y);
    EXPECT_FALSE(picture.Dark({ink.left, middleY, ink.left + 1, middleY + 1})) << "left edge, vertex 3 to 0";
    EXPECT_FALSE(picture.Dark({ink.right - 1, middleY, ink.right, middleY + 1})) << "right edge";
    EXPECT_TRUE(picture.Dark({ink.left + 3, ink.top + 3, ink.right - 3, ink.bottom - 3})) << "an outline, not a fill";
}

TEST(WorldToScreen, MapsThePlayPlaneAsTheFinalCameraSeesIt)
{
    struct Case {
        float x, y;
        double sx, sy;
    } const cases[] = {{0, 10, 400, 300}, {5, 12, 472.4264, 271.0294}, {25, 28, 762.1320, 39.2649},
                       {-20, -10, 110.2944, 589.7056}};
    for (const Case& c : cases) {
        const ScreenPoint point = WorldToScreen(c.x, c.y);
        EXPECT_NEAR(point.x, c.sx, 1e-3) << c.x << ", " << c.y;
        EXPECT_NEAR(point.y, c.sy, 1e-3) << c.x << ", " << c.y;
    }
    // The icon rectangle of a block at (5, 12), each bound truncated on its own.
    const ScreenPoint block = WorldToScreen(5, 12);
    EXPECT_EQ(int32_t(block.x - 12), 460);
    EXPECT_EQ(int32_t(block.y - 12), 259);
    EXPECT_EQ(int32_t(block.x + 12), 484);
    EXPECT_EQ(int32_t(block.y + 12), 283);
}

// The perspective picture and the screen mapping agree; a closer camera shows
// the same point further from the middle.
TEST_F(RenderTest, ProjectionPutsPlanePointsWhereTheScreenMappingSays)
{
    GameSettings.boidLine = false;
    const auto column = [&](float eyeZ) {
        SetViewCamera({0, 10, eyeZ}, {0, 10, 0}, {0, 1, 0});
        return Frame([] { DrawLine3D(White, {10, 0, 0}, {10, 20, 0}); }).Ink({0, 300, Width, 301}).left;
    };
    EXPECT_NEAR(column(-50), WorldToScreen(10, 10).x, 1.0);
    EXPECT_GT(column(-25), column(-50) + 100);
}

// A window of another size shows the picture scaled to fit with its aspect kept;
// mouse positions go back through the same scale.
TEST_F(RenderTest, WindowPixelsMapToThePictureThroughItsScale)
{
    struct Case {
        int32_t windowWidth, windowHeight;
        int32_t x, y, pictureX, pictureY;
    } const cases[] = {{800, 600, 10, 20, 10, 20},     {1600, 900, 200, 0, 0, 0},
                       {1600, 900, 800, 450, 400, 300}, {1600, 900, 1399, 899, 799, 599},
                       {1600, 900, 100, 450, -67, 300}, {1000, 1000, 500, 125, 400, 0}};
    auto* window = static_cast<SDL_Window*>(MainWindow);
    for (const Case& c : cases) {
        SDL_SetWindowSize(window, c.windowWidth, c.windowHeight);
        int32_t x = c.x, y = c.y;
        WindowToBackBuffer(x, y);
        EXPECT_EQ(x, c.pictureX) << c.windowWidth << "x" << c.windowHeight;
        EXPECT_EQ(y, c.pictureY) << c.windowWidth << "x" << c.windowHeight;
    }
    SDL_SetWindowSize(window, Width, Height);
}

// ---------------------------------------------------------------------------
// Batching

TEST_F(RenderTest, LinesBetweenSpriteGroupsGoOutInOneDrawCall)
{
    GameSettings.boidLine = true;
    const int32_t mask = LoadTexture(MIRELUNE_RUN_DIR "/mask.bmp");
    ASSERT_GE(mask, 0);
    Frame([&] {
        for (int i = 0; i < 100; ++i)
            DrawLine3D(White, {-20, float(i) * 0.2f, 0}, {20, float(i) * 0.2f, 0});
        BeginSprites();
        for (int i = 0; i < 50; ++i)
            DrawTexture(mask, White, {i, 0, i + 1, 1}, {0, 0, 1, 1});
        EndSprites();
        for (int i = 0; i < 100; ++i)
            DrawLine3D(White, {float(i) * 0.2f, 0, 0}, {float(i) * 0.2f, 20, 0});
    });
    const FrameStats stats = LastFrameStats();
    EXPECT_EQ(stats.drawCalls, 3u);
    EXPECT_EQ(stats.lines, 600u);
    EXPECT_EQ(stats.sprites, 50u);
}

// Queued drawing keeps its order: a sprite drawn after a line covers it, a line
// drawn after a sprite lies on top, and each line keeps the camera it was drawn with.
TEST_F(RenderTest, QueuedDrawingKeepsCallOrderAndCamera)
{
    GameSettings.boidLine = false;
    const int32_t mask = LoadTexture(MIRELUNE_RUN_DIR "/mask.bmp");
    const Picture picture = Frame([&] {
        DrawLine3D(White, {-1, 12, 0}, {1, 12, 0});
        BeginSprites();
        DrawTexture(mask, 0xFF0000FF, {380, 250, 420, 400}, {0, 0, 1, 1});
        EndSprites();
        DrawLine3D(0xFFFF0000, {-1, 8, 0}, {1, 8, 0});
        SetViewCamera({0, 10, -25}, {0, 10, 0}, {0, 1, 0});
        DrawLine3D(0xFF00FF00, {-1, 8, 0}, {1, 8, 0});
    });
    ExpectColour(picture.At(400, int32_t(WorldToScreen(0, 12).y)), {0, 0, 255, 255});
    ExpectColour(picture.At(400, int32_t(WorldToScreen(0, 8).y)), {128, 0, 0, 255});
    ExpectColour(picture.At(400, int32_t(300 + 2 / (25 * std::tan(0.3926991)) * 300)), {0, 128, 0, 255});
}

// ---------------------------------------------------------------------------
// Textures

std::filesystem::path TestDirectoryPath()
{
    return std::filesystem::temp_directory_path() / ("mirelune_render_" + std::to_string(getpid()));
}

std::string TestDirectory()
{
    std::filesystem::create_directories(TestDirectoryPath());
    return TestDirectoryPath().string();
}

// Removes the images the texture tests wrote.
class TestDirectoryCleanup : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::error_code error;
        std::filesystem::remove_all(TestDirectoryPath(), error);
    }
};
const auto* const cleanup = ::testing::AddGlobalTestEnvironment(new TestDirectoryCleanup);

// A 32 x 32 image in four solid quadrants: red, green over blue, white.
std::string WriteQuadrantImage()
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 32, 32, 32, SDL_PIXELFORMAT_RGBA32);
    const Uint32 colours[4] = {SDL_MapRGBA(surface->format, 255, 0, 0, 255), SDL_MapRGBA(surface->format, 0, 255, 0, 255),
                               SDL_MapRGBA(surface->format, 0, 0, 255, 255),
                               SDL_MapRGBA(surface->format, 255, 255, 255, 255)};
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        SDL_Rect rect = {16 * (quadrant % 2), 16 * (quadrant / 2), 16, 16};
        SDL_FillRect(surface, &rect, colours[quadrant]);
    }
    const std::string path = TestDirectory() + "/quadrants.png";
    IMG_SavePNG(surface, path.c_str());
    SDL_FreeSurface(surface);
    return path;
}

std::string WriteSolidBmp(const std::string& name, int32_t width, int32_t height)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, width, height, 24, SDL_PIXELFORMAT_RGB24);
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 200, 100, 50));
    const std::string path = TestDirectory() + "/" + name;
    SDL_SaveBMP(surface, path.c_str());
    SDL_FreeSurface(surface);
    return path;
}

TEST_F(RenderTest, DrawTextureStretchesTheSourceOverTheDestination)
{
    const int32_t slot = LoadTexture(WriteQuadrantImage().c_str());
    ASSERT_GE(slot, 0);
    const Picture picture = Frame([&] {
        BeginSprites();
        EXPECT_TRUE(DrawTexture(slot, White, {100, 100, 164, 116}, {0, 0, 32, 32}));
        EndSprites();
    });
    // Twice as wide and half as high, its corner on the destination's.
    EXPECT_EQ(picture.Ink().left, 100);
    EXPECT_EQ(picture.Ink().top, 100);
    EXPECT_EQ(picture.Ink().right, 164);
    EXPECT_EQ(picture.Ink().bottom, 116);
    ExpectColour(picture.At(112, 103), {255, 0, 0, 255}, 2);
    ExpectColour(picture.At(152, 103), {0, 255, 0, 255}, 2);
    ExpectColour(picture.At(112, 112), {0, 0, 255, 255}, 2);
    ExpectColour(picture.At(152, 112), {255, 255, 255, 255}, 2);
}

TEST_F(RenderTest, DrawTextureTintsByTheColourAndBlendsByItsAlpha)
{
    const int32_t slot = LoadTexture(WriteQuadrantImage().c_str());
    const Picture picture = Frame([&] {
        BeginSprites();
        DrawTexture(slot, 0x80FFFF00, {0, 0, 64, 64}, {16, 16, 32, 32});  // the white quadrant
        EndSprites();
    });
    ExpectColour(picture.At(32, 32), {128, 128, 0, 255}, 2);
}

TEST_F(RenderTest, LoadTextureKeepsOneSlotPerNameAndGrowsByTen)
{
    const std::string first = WriteSolidBmp("first.bmp", 3, 5);
    const int32_t slot = LoadTexture(first.c_str());
    ASSERT_GE(slot, 0);
    EXPECT_EQ(LoadTexture(first.c_str()), slot);
    EXPECT_EQ(TextureTable.entries[slot].width, 3u);
    EXPECT_EQ(TextureTable.entries[slot].height, 5u);
    EXPECT_EQ(LoadTexture((TestDirectory() + "/missing.png").c_str()), -1);
    EXPECT_GE(LoadTexture(WriteSolidBmp("widest.bmp", MaxImageDimension, 1).c_str()), 0);
    EXPECT_EQ(LoadTexture(WriteSolidBmp("too-wide.bmp", MaxImageDimension + 1, 1).c_str()), -1)
        << "a size no image of ours has";

    // Fill the table to its capacity, then one more.
    const uint32_t capacity = TextureTable.textureCapacity;
    const uint32_t firstTexture = TextureTable.entries[slot].texture;
    for (uint32_t i = 0; TextureTable.textureCount < capacity; ++i)
        ASSERT_GE(LoadTexture(WriteSolidBmp("fill" + std::to_string(i) + ".bmp", 1, 1).c_str()), 0);
    EXPECT_EQ(LoadTexture(WriteSolidBmp("beyond.bmp", 2, 2).c_str()), int32_t(capacity));
    EXPECT_EQ(TextureTable.textureCapacity, capacity + 10);
    EXPECT_EQ(TextureTable.entries[slot].texture, firstTexture);
    EXPECT_EQ(LoadTexture(first.c_str()), slot);
}

TEST_F(RenderTest, DrawTextureDrawsNothingForSlotsWithoutATexture)
{
    const int32_t loaded = LoadTexture(WriteSolidBmp("edge.bmp", 4, 4).c_str());
    if (TextureTable.textureCount == TextureTable.textureCapacity)
        LoadTexture(WriteSolidBmp("edge-more.bmp", 4, 4).c_str());
    const int32_t empty = int32_t(TextureTable.textureCount);
    const int32_t capacity = int32_t(TextureTable.textureCapacity);
    ASSERT_LT(empty, capacity);
    struct Case {
        int32_t slot;
        RectI source;
        bool drawn;
    } const cases[] = {
        {loaded, {0, 0, 4, 4}, true},
        {-1, {0, 0, 4, 4}, false},
        {empty, {0, 0, 4, 4}, false},
        {capacity, {0, 0, 4, 4}, false},
        {capacity + 100, {0, 0, 4, 4}, false},
        {loaded, {2, 2, 2, 4}, false},  // an empty source
    };
    for (const Case& c : cases) {
        const Picture picture = Frame([&] {
            BeginSprites();
            EXPECT_EQ(DrawTexture(c.slot, White, {10, 10, 50, 50}, c.source), c.drawn) << "slot " << c.slot;
            EndSprites();
        });
        EXPECT_EQ(picture.Dark({0, 0, 100, 100}), !c.drawn) << "slot " << c.slot;
    }
}

// Blocks with their whole mip chain go to the GPU as they are, others are decoded
// first; both show the same picture.
TEST_F(RenderTest, DxtTexturesDrawWithOrWithoutTheirMipChain)
{
    const std::vector<uint8_t> wholeChain = Joined(Joined(GreenBlock, GreenBlock), GreenBlock);
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"chain.dds", DdsFile(4, 4, Dxt1, NoMasks, wholeChain, 3)},
        {"single.dds", DdsFile(4, 4, Dxt1, NoMasks, GreenBlock, 1)},
    };
    for (const auto& [name, bytes] : files) {
        const std::string path = TestDirectory() + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        const int32_t slot = LoadTexture(path.c_str());
        ASSERT_GE(slot, 0) << name;
        const Picture picture = Frame([&] {
            BeginSprites();
            DrawTexture(slot, White, {0, 0, 40, 40}, {0, 0, 4, 4});
            EndSprites();
        });
        ExpectColour(picture.At(20, 20), {0, 255, 0, 255}, 0);
    }
}

// ---------------------------------------------------------------------------
// The DDS reader

struct DdsCase {
    const char* name;
    std::vector<uint8_t> file;
    uint32_t width, height;
    std::vector<Rgba> firstRow;  // the leading texels of the first row
};

TEST(DdsReader, DecodesEachFormat)
{
    const std::vector<DdsCase> cases = {
        {"A8R8G8B8", DdsFile(2, 1, 0, Argb, {0x30, 0x20, 0x10, 0x80, 0xFF, 0x00, 0x00, 0xFF}), 2, 1,
         {{0x10, 0x20, 0x30, 0x80}, {0x00, 0x00, 0xFF, 0xFF}}},
        {"X8R8G8B8", DdsFile(1, 1, 0, Xrgb, {0x30, 0x20, 0x10, 0x00}), 1, 1, {{0x10, 0x20, 0x30, 0xFF}}},
        {"A8B8G8R8", DdsFile(1, 1, 0, Abgr, {0x30, 0x20, 0x10, 0x80}), 1, 1, {{0x30, 0x20, 0x10, 0x80}}},
        {"DXT1", DdsFile(4, 4, Dxt1, NoMasks, ColourBlock), 4, 4,
         {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}}},
        {"DXT1 three colours", DdsFile(4, 4, Dxt1, NoMasks, ThreeColourBlock), 4, 4,
         {{0, 0, 255, 255}, {255, 0, 0, 255}, {127, 0, 127, 255}, {0, 0, 0, 0}}},
        {"DXT1 5x3", DdsFile(5, 3, Dxt1, NoMasks, Joined(ColourBlock, ColourBlock)), 5, 3,
         {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}, {255, 0, 0, 255}}},
        {"DXT3", DdsFile(4, 4, Dxt3, NoMasks, Joined({0x10, 0xF0, 0, 0, 0, 0, 0, 0}, ThreeColourBlock)), 4, 4,
         {{0, 0, 255, 0}, {255, 0, 0, 17}, {85, 0, 170, 0}, {170, 0, 85, 255}}},
        {"DXT5 eight alphas", DdsFile(4, 4, Dxt5, NoMasks, Joined({255, 0, 0x88, 0x06, 0, 0, 0, 0}, ColourBlock)),
         4, 4, {{255, 0, 0, 255}, {0, 0, 255, 0}, {170, 0, 85, 218}, {85, 0, 170, 182}}},
        {"DXT5 six alphas", DdsFile(4, 4, Dxt5, NoMasks, Joined({0, 255, 0x8F, 0x0F, 0, 0, 0, 0}, ColourBlock)),
         4, 4, {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 0}, {85, 0, 170, 255}}},
    };
    for (const DdsCase& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t width = 0, height = 0;
        std::vector<uint8_t> rgba;
        ASSERT_TRUE(DecodeDds(c.file.data(), c.file.size(), width, height, rgba));
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(height, c.height);
        ASSERT_EQ(rgba.size(), size_t(width) * height * 4);
        for (size_t i = 0; i < c.firstRow.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(rgba[i * 4 + 0], c.firstRow[i].r, 1);
            EXPECT_NEAR(rgba[i * 4 + 1], c.firstRow[i].g, 1);
            EXPECT_NEAR(rgba[i * 4 + 2], c.firstRow[i].b, 1);
            EXPECT_EQ(rgba[i * 4 + 3], c.firstRow[i].a);
        }
    }
}

std::vector<uint8_t> WithField(std::vector<uint8_t> file, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file[offset + i] = uint8_t(value >> (8 * i));
    return file;
}

TEST(DdsReader, RefusesMalformedFiles)
{
    const std::vector<uint8_t> good = DdsFile(4, 4, Dxt1, NoMasks, ColourBlock);
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"empty", {}},
        {"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
        {"data cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"wrong magic", WithField(good, 0, 0x20534444 + 1)},
        {"header size", WithField(good, 4, 120)},
        {"pixel format size", WithField(good, 76, 0)},
        {"zero width", WithField(good, 16, 0)},
        {"huge width", WithField(good, 16, 100000)},
        {"huge both", WithField(WithField(good, 16, 0x80000000), 12, 0x80000000)},
        {"unknown block format", WithField(good, 84, 0x32545844)},
        {"24-bit pixels", WithField(DdsFile(1, 1, 0, Xrgb, {0, 0, 0, 0}), 88, 24)},
        {"cube map", WithField(good, 112, 0x200)},
    };
    for (const auto& [name, file] : cases) {
        DdsImage image;
        EXPECT_FALSE(ParseDds(file.data(), file.size(), image)) << name;
    }
}

TEST(DdsReader, KeepsTheWholeLevelsOfAChainCutShort)
{
    const std::vector<uint8_t> data = Joined(Joined(ColourBlock, ColourBlock), ColourBlock);
    DdsImage image;
    std::vector<uint8_t> file = DdsFile(4, 4, Dxt1, NoMasks, data, 3);
    ASSERT_TRUE(ParseDds(file.data(), file.size(), image));
    EXPECT_EQ(image.levels.size(), 3u);
    file.pop_back();
    ASSERT_TRUE(ParseDds(file.data(), file.size(), image));
    EXPECT_EQ(image.levels.size(), 2u);
    EXPECT_EQ(DdsLevelRgba(image, 1).size(), 2u * 2 * 4);
    EXPECT_TRUE(DdsLevelRgba(image, 2).empty());
}

// Every cut and many random corruptions of a valid file: the reader never reads
// out of bounds (run under the sanitizers), and what it accepts is consistent.
TEST(DdsReader, SurvivesCutAndCorruptedFiles)
{
    const std::vector<uint8_t> good = DdsFile(8, 8, Dxt5, NoMasks, std::vector<uint8_t>(4 * 16 + 3 * 16, 0x5A), 4);
    std::mt19937 random(12345);
    for (size_t trial = 0; trial < good.size() + 3000; ++trial) {
        std::vector<uint8_t> file(good.begin(), good.begin() + std::min(trial, good.size()));
        if (trial >= good.size())
            for (int flips = 0; flips < 3; ++flips)
                file[random() % file.size()] = uint8_t(random());
        DdsImage image;
        if (!ParseDds(file.data(), file.size(), image))
            continue;
        for (uint32_t level = 0; level < image.levels.size(); ++level)
            EXPECT_EQ(DdsLevelRgba(image, level).size(),
                      size_t(DdsLevelWidth(image, level)) * DdsLevelHeight(image, level) * 4);
    }
}

// ---------------------------------------------------------------------------
// Labels

class LabelTest : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        font = CreateFont("Small Fonts", 32);
        ASSERT_NE(font, nullptr);
    }
    void TearDown() override { ReleaseFont(font); }
    Font* font = nullptr;
};

TEST_F(LabelTest, EachFormatPlacesTheTextInItsPartOfTheRectangle)
{
    const RectI r = {100, 100, 500, 300};
    struct Case {
        uint32_t format;
        int32_t expectedLeft, expectedRight;  // -1: not checked
        bool vcentre;
    } const cases[] = {{DT_LEFT, 100, -1, false},
                       {DT_CENTER, -1, -1, false},
                       {DT_RIGHT, -1, 500, false},
                       {DT_CENTER | DT_VCENTER, -1, -1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const Box ink = Frame([&] { DrawLabel(font, "88", r, c.format, White); }).Ink();
        ASSERT_LT(ink.left, ink.right);
        if (c.expectedLeft >= 0)
            EXPECT_NEAR(ink.left, c.expectedLeft, 3);
        if (c.expectedRight >= 0)
            EXPECT_NEAR(ink.right, c.expectedRight, 3);
        if (c.format & DT_CENTER)
            EXPECT_NEAR((ink.left + ink.right) / 2.0, 300, 2);
        if (c.vcentre)
            EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 200, 3);
        else
            EXPECT_TRUE(ink.top >= 100 && ink.bottom <= 132) << ink.top << ".." << ink.bottom;
    }
}

TEST_F(LabelTest, LinesFollowEachOtherOneCellApart)
{
    const Picture picture = Frame([&] { DrawLabel(font, "000001000\n000001234\n", {500, 100, 800, 600}, 0, White); });
    const Box first = picture.Ink({500, 100, 800, 132});
    const Box second = picture.Ink({500, 132, 800, 164});
    EXPECT_LT(first.top, first.bottom);
    EXPECT_EQ(second.top - first.top, 32);
    EXPECT_TRUE(picture.Dark({0, 164, Width, Height}));
    EXPECT_TRUE(picture.Dark({0, 0, 500, Height}));

    // The closing line break adds no line: two lines centre on the middle.
    const Box centred = Frame([&] { DrawLabel(font, "8\n8\n", {0, 0, 800, 600}, DT_CENTER | DT_VCENTER, White); }).Ink();
    EXPECT_NEAR((centred.top + centred.bottom) / 2.0, 300, 3);
}

TEST_F(LabelTest, TextTakesTheColourAndAlphaAndStaysInsideItsRectangle)
{
    const Picture picture = Frame([&] {
        DrawLabel(font, "WIN!!", {0, 0, 400, 600}, DT_CENTER | DT_VCENTER, 0xFFFF0000);
        DrawLabel(font, "LOSE...", {400, 0, 800, 600}, DT_CENTER | DT_VCENTER, 0x800000FF);
        DrawLabel(font, "8888", {600, 500, 624, 524}, DT_CENTER | DT_VCENTER, White);
    });
    const Box left = {0, 0, 400, Height};
    const Box right = {400, 200, 800, 400};
    EXPECT_EQ(picture.MaxChannel(left, 0), 255);
    EXPECT_EQ(picture.MaxChannel(left, 1), 0);
    EXPECT_NEAR(picture.MaxChannel(right, 2), 128, 1);
    EXPECT_EQ(picture.MaxChannel(right, 0), 0);
    // Text wider and taller than its rectangle is cut to it.
    const Box digit = picture.Ink({540, 470, 690, 560});
    EXPECT_LE(digit.left, 601);
    EXPECT_GE(digit.right, 623);
    EXPECT_GE(digit.left, 600);
    EXPECT_GE(digit.top, 500);
    EXPECT_LE(digit.right, 624);
    EXPECT_LE(digit.bottom, 524);
}

// The configured height is the line's cell height, for any face name.
TEST_F(RenderTest, FontsOpenAtTheirCellHeight)
{
    for (int32_t height : {10, 16, 20, 30, 32, 40}) {
        Font* font = CreateFont("Small Fonts", height);
        ASSERT_NE(font, nullptr) << height;
        const Picture picture = Frame([&] { DrawLabel(font, "8\n8", {0, 0, 100, 300}, 0, White); });
        const Box first = picture.Ink({0, 0, 100, height});
        const Box second = picture.Ink({0, height, 100, 2 * height});
        EXPECT_EQ(second.top - first.top, height);
        ReleaseFont(font);
    }
    EXPECT_EQ(CreateFont("Small Fonts", 0), nullptr);
    EXPECT_EQ(CreateFont("Small Fonts", -5), nullptr);
    Font* huge = CreateFont("Small Fonts", 1 << 30);
    EXPECT_NE(huge, nullptr);
    ReleaseFont(huge);
}

// ---------------------------------------------------------------------------
// The generated images

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(GeneratedImages, TheSparkIsASoftWhiteRoundGlowInTheTopLeftCorner)
{
    const std::vector<uint8_t> file = ReadFile(MIRELUNE_RUN_DIR "/bubble.dds");
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(DecodeDds(file.data(), file.size(), width, height, rgba));
    ASSERT_GE(width, 32u);
    ASSERT_GE(height, 32u);
    const auto alpha = [&](uint32_t x, uint32_t y) { return rgba[(y * width + x) * 4 + 3]; };
    EXPECT_GT(alpha(16, 16), 200);
    EXPECT_GT(alpha(16, 16), alpha(16, 22));
    EXPECT_GT(alpha(16, 22), alpha(16, 28));
    EXPECT_GT(alpha(16, 22), 0);
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(31, 31), 0);
    EXPECT_NEAR(alpha(10, 16), alpha(16, 10), 2);
    for (uint32_t i = 0; i < width * height; ++i)
        if (rgba[i * 4 + 3] > 0)
            ASSERT_TRUE(rgba[i * 4] == 255 && rgba[i * 4 + 1] == 255 && rgba[i * 4 + 2] == 255) << i;
}

// Mean colour and coverage of one 64 x 64 cell of the special sheet.
struct CellSummary {
    double coverage;    // share of texels with any alpha
    double r, g, b;     // mean colour of the covered texels
};

CellSummary Summarise(const SDL_Surface* sheet, int32_t column, int32_t row)
{
    CellSummary summary = {};
    double weight = 0;
    for (int32_t y = row * 64; y < row * 64 + 64; ++y) {
        for (int32_t x = column * 64; x < column * 64 + 64; ++x) {
            const uint8_t* p = static_cast<const uint8_t*>(sheet->pixels) + y * sheet->pitch + x * 4;
            const double a = p[3] / 255.0;
            summary.coverage += p[3] > 0 ? 1.0 / (64 * 64) : 0;
            summary.r += p[0] * a;
            summary.g += p[1] * a;
            summary.b += p[2] * a;
            weight += a;
        }
    }
    if (weight > 0)
        summary = {summary.coverage, summary.r / weight, summary.g / weight, summary.b / weight};
    return summary;
}

TEST(GeneratedImages, TheSpecialSheetHasTheBombAndOnePaintDropPerColour)
{
    SDL_Surface* loaded = IMG_Load(MIRELUNE_RUN_DIR "/special.png");
    ASSERT_NE(loaded, nullptr);
    SDL_Surface* sheet = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    ASSERT_EQ(sheet->w, 320);
    ASSERT_EQ(sheet->h, 128);
    // The bomb is grey, so that the block's colour tints it.
    const CellSummary bomb = Summarise(sheet, 1, 0);
    EXPECT_GT(bomb.coverage, 0.2);
    EXPECT_NEAR(bomb.r, bomb.g, 1);
    EXPECT_NEAR(bomb.g, bomb.b, 1);
    struct Paint {
        bool r, g, b;  // which channels dominate
    } const paints[5] = {{1, 0, 0}, {0, 1, 0}, {0, 1, 1}, {1, 1, 0}, {1, 1, 1}};
    for (int32_t cell = 0; cell < 5; ++cell) {
        SCOPED_TRACE(cell + 1);
        const CellSummary drop = Summarise(sheet, cell, 1);
        EXPECT_GT(drop.coverage, 0.2);
        const double channels[3] = {drop.r, drop.g, drop.b};
        const bool dominant[3] = {paints[cell].r, paints[cell].g, paints[cell].b};
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(channels[c] > 90, dominant[c]) << "channel " << c << " " << channels[c];
    }
    SDL_FreeSurface(sheet);
}

TEST_F(RenderTest, TheMaskGivesAPlainFill)
{
    SDL_Surface* mask = IMG_Load(MIRELUNE_RUN_DIR "/mask.bmp");
    ASSERT_NE(mask, nullptr);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(*static_cast<const Uint32*>(mask->pixels) & 0xFFFFFF, mask->format, &r, &g, &b);
    EXPECT_EQ(r & g & b, 255);
    SDL_FreeSurface(mask);

    const int32_t slot = LoadTexture(MIRELUNE_RUN_DIR "/mask.bmp");
    const Picture picture = Frame([&] {
        BeginSprites();
        DrawTexture(slot, 0x80000000, {0, 0, 800, 600}, {0, 0, 1, 1});
        DrawTexture(slot, White, {5, 40, 137, 45}, {0, 0, 1, 1});
        EndSprites();
    });
    EXPECT_EQ(picture.Ink(), (Box{5, 40, 137, 45}));
    for (int32_t x : {5, 70, 136})
        ExpectColour(picture.At(x, 42), {255, 255, 255, 255}, 0);
}

// ---------------------------------------------------------------------------
// Without a device

void DrawEverythingWithoutADevice()
{
    MainWindow = nullptr;
    if (InitGraphics(true) || DeviceReady)
        std::exit(1);
    SetViewCamera({0, 10, -50}, {0, 10, 0}, {0, 1, 0});
    if (Camera.eye.z != -50 || Camera.view == glm::mat4(1.0f))
        std::exit(2);
    ClearFrame(0);
    BeginScene();
    DrawLine3D(White, {0, 0, 0}, {1, 1, 0});
    const bool drewTexture = DrawTexture(0, White, {0, 0, 10, 10}, {0, 0, 1, 1});
    const bool loaded = LoadTexture(MIRELUNE_RUN_DIR "/mask.bmp") != -1;
    Font* font = CreateFont("Small Fonts", 16);
    DrawLabel(font, "1P", {0, 0, 20, 20}, DT_CENTER | DT_VCENTER, White);
    EndScene();
    PresentFrame();
    uint8_t pixel[4] = {};
    if (drewTexture || loaded || font || ReadBackBuffer(pixel) || LastFrameStats().lines != 0)
        std::exit(3);
    std::exit(0);
}

TEST(RenderWithoutDevice, NothingIsDrawnAndNothingFails)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(DrawEverythingWithoutADevice(), testing::ExitedWithCode(0), "");
}

}  // namespace
