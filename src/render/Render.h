// Presentation: the OpenGL device and camera, the frame bracket, textures,
// world-space lines, shape outlines and text. Every call is safe without a
// device (DeviceReady false): it draws nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <box2d/box2d.h>
#include <glm/glm.hpp>

// Outline colours by the low byte of a shape's kind (ARGB).
extern const uint32_t BlockColours[7];

// ---------------------------------------------------------------------------
// Device and camera. Set by InitGraphics and SetViewCamera; live until exit.

struct CameraRecord {
    glm::vec3 eye;
    glm::vec3 target;
    glm::vec3 up;
    glm::mat4 view;
};

extern bool DeviceReady;     // true once InitGraphics succeeded
extern glm::mat4 Projection; // vertical field of view pi/4, aspect 4/3, near 1, far 1000, left-handed
extern CameraRecord Camera;

// Creates the GL context on MainWindow (windowed, or a desktop full-screen window
// showing the 800 x 600 picture scaled with its aspect kept).
bool InitGraphics(bool windowed);
// Window pixels to back-buffer pixels (the picture may be scaled in full screen).
void WindowToBackBuffer(int32_t& x, int32_t& y);
// Stores the camera and builds its view matrix; works without a device.
bool SetViewCamera(glm::vec3 eye, glm::vec3 target, glm::vec3 up);

// Frame bracket; each step does nothing without a device. PresentFrame shows the
// frame and paces the loop to 60 frames per second.
// Drawing calls are queued in call order and reach the GPU at EndScene.
void ClearFrame(uint32_t colour);
void BeginScene();
void EndScene();
void PresentFrame();
// PresentFrame holds each frame to 1/60 s while this is set (the default); tests
// and benchmarks clear it to run frames as fast as they draw.
extern bool FramePacing;

// Sprite batches bracket texture draws, in call order with lines and text.
void BeginSprites();
void EndSprites();

// Counters of the last presented frame, for the benchmarks.
struct FrameStats {
    uint32_t drawCalls;
    uint32_t lines;
    uint32_t sprites;
};
FrameStats LastFrameStats();

// ---------------------------------------------------------------------------
// Fonts. Created by LoadSettings in the order middle, small, large; null when absent.

struct Font;
extern Font* SmallFont;
extern Font* MiddleFont;
extern Font* LargeFont;
// Matches the face with fontconfig (a face the system lacks gets its sans face)
// and renders its glyphs once for a line height of height pixels, at most 300.
// Null without a device or for a height of 0 or less.
Font* CreateFont(const char* face, int32_t height);
void ReleaseFont(Font* font);

// ---------------------------------------------------------------------------
// Drawing primitives.

struct RectI {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// DrawLabel formats.
constexpr uint32_t DT_LEFT = 0x0;
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_VCENTER = 0x4;

struct TextureEntry {
    uint32_t texture;      // the GL texture name, 0 for none
    char fileName[260];
    uint32_t width;        // the image file's own size
    uint32_t height;
};

// The texture table: grows by 10 entries, never shrinks.
struct TextureTableRecord {
    TextureEntry* entries;
    uint32_t textureCount;
    uint32_t textureCapacity;
};
extern TextureTableRecord TextureTable;

// Images wider or higher are refused: none of ours is, and a file that claims it
// would only cost seconds and gigabytes to decode.
constexpr uint32_t MaxImageDimension = 8192;
// The slot of an image file (PNG, BMP or DDS), loading it on first use; -1 on failure.
int32_t LoadTexture(const char* fileName);
// Draws the source rectangle of a texture (in its pixels) stretched over the
// destination, tinted by colour; false for a slot without a texture or an empty source.
bool DrawTexture(int32_t slot, uint32_t colour, RectI destination, RectI source);
// One world-space line, its colour scaled by the ambient 128/255; bold when boidLine is set.
void DrawLine3D(uint32_t colour, glm::vec3 a, glm::vec3 b);
// Rotation about the body origin, then the body's translation.
glm::mat4 BodyWorldMatrix(const b2Body* body);
// The closed outline of a polygon fixture, placed by world.
void DrawShapeOutline(const b2Fixture* fixture, const glm::mat4& world, uint32_t colour);
// One text in a rectangle with the DT_ format; nothing without a device or font.
void DrawLabel(const Font* font, const char* text, RectI rectangle, uint32_t format, uint32_t colour);

// The play-plane point (x, y, 0) in back-buffer pixels as the final play camera sees it.
struct ScreenPoint {
    double x;
    double y;
};
ScreenPoint WorldToScreen(float x, float y);

// The leave flicker of the Game's picture: false at program start and never reset,
// so a second leave starts from where the first one left it.
extern bool blinkVisible;

// Reads the 800 x 600 picture of the last drawn frame (RGBA, top row first, 4 bytes
// a pixel) into rgba, for tests and screenshots; still valid after PresentFrame.
bool ReadBackBuffer(uint8_t* rgba);

// ---------------------------------------------------------------------------
// The DDS reader, free of GL so that it can be tested and fuzzed on its own.

enum class DdsFormat : uint32_t { Rgba8, Dxt1, Dxt3, Dxt5 };

struct DdsImage {
    uint32_t width;
    uint32_t height;
    DdsFormat format;
    // The mip levels the file holds in full, largest first: RGBA rows top first
    // for Rgba8, the file's 4 x 4 blocks for the DXT formats.
    std::vector<std::vector<uint8_t>> levels;
};

// False for anything that is not a whole 32-bit or DXT1/3/5 image of at most
// 8192 x 8192; a mip chain cut short keeps its whole levels.
bool ParseDds(const uint8_t* bytes, size_t size, DdsImage& image);
uint32_t DdsLevelWidth(const DdsImage& image, uint32_t level);
uint32_t DdsLevelHeight(const DdsImage& image, uint32_t level);
// One level as RGBA rows, top first, blocks decoded in software; empty past the last level.
std::vector<uint8_t> DdsLevelRgba(const DdsImage& image, uint32_t level);
// The first level of a DDS file as RGBA.
bool DecodeDds(const uint8_t* bytes, size_t size, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rgba);
