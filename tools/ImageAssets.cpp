// The match's images: the spark (bubble.dds), the special-block icons
// (special.png) and the plain fill (mask.bmp). Shapes are drawn from signed
// distances, so every edge is anti-aliased.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "Assets.h"

namespace {

struct Colour {
    float r, g, b, a;
};

// Straight-alpha RGBA canvas, rows top first.
struct Canvas {
    int32_t width;
    int32_t height;
    std::vector<Colour> pixels;
};

Canvas NewCanvas(int32_t width, int32_t height)
{
    return {width, height, std::vector<Colour>(size_t(width) * height, Colour{1, 1, 1, 0})};
}

// A shape: the signed distance in pixels from a point to its edge, negative inside.
using Shape = std::function<float(float x, float y)>;
// The colour of a shape at a point.
using Shade = std::function<Colour(float x, float y)>;

// "Over" in straight alpha.
void Composite(Colour& below, Colour above)
{
    const float alpha = above.a + below.a * (1 - above.a);
    if (alpha <= 0)
        return;
    const auto mix = [&](float top, float bottom) { return (top * above.a + bottom * below.a * (1 - above.a)) / alpha; };
    below = {mix(above.r, below.r), mix(above.g, below.g), mix(above.b, below.b), alpha};
}

// Paints a shape into the cell whose top-left corner is (left, top).
void Paint(Canvas& canvas, int32_t left, int32_t top, int32_t size, const Shape& shape, const Shade& shade)
{
    for (int32_t y = top; y < top + size; ++y) {
        for (int32_t x = left; x < left + size; ++x) {
            const float px = x - left + 0.5f;
            const float py = y - top + 0.5f;
            const float coverage = std::clamp(0.5f - shape(px, py), 0.0f, 1.0f);
            if (coverage <= 0)
                continue;
            Colour colour = shade(px, py);
            colour.a *= coverage;
            Composite(canvas.pixels[size_t(y) * canvas.width + x], colour);
        }
    }
}

Shade Flat(Colour colour)
{
    return [colour](float, float) { return colour; };
}

Colour Scaled(Colour colour, float factor)
{
    return {std::min(1.0f, colour.r * factor), std::min(1.0f, colour.g * factor), std::min(1.0f, colour.b * factor),
            colour.a};
}

// ---------------------------------------------------------------------------
// Shapes.

Shape Circle(float cx, float cy, float radius)
{
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - radius; };
}

Shape Ellipse(float cx, float cy, float rx, float ry)
{
    const float smaller = std::min(rx, ry);
    return [=](float x, float y) { return (std::hypot((x - cx) / rx, (y - cy) / ry) - 1) * smaller; };
}

float SegmentDistance(float x, float y, float ax, float ay, float bx, float by)
{
    const float dx = bx - ax;
    const float dy = by - ay;
    const float t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return std::hypot(x - ax - t * dx, y - ay - t * dy);
}

// A stroke of the given half width along a polyline.
Shape Stroke(std::vector<float> points, float halfWidth)
{
    return [points, halfWidth](float x, float y) {
        float nearest = 1e9f;
        for (size_t i = 2; i + 1 < points.size(); i += 2)
            nearest = std::min(nearest, SegmentDistance(x, y, points[i - 2], points[i - 1], points[i], points[i + 1]));
        return nearest - halfWidth;
    };
}

// A box of half sizes (hx, hy) with rounded corners, turned by angle.
Shape RoundedBox(float cx, float cy, float hx, float hy, float angle, float radius)
{
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return [=](float x, float y) {
        const float qx = std::fabs(c * (x - cx) + s * (y - cy)) - hx + radius;
        const float qy = std::fabs(-s * (x - cx) + c * (y - cy)) - hy + radius;
        return std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) + std::min(std::max(qx, qy), 0.0f) - radius;
    };
}

// A drop: a round belly of radius r at (cx, cy) narrowing to a point of radius
// tip at height h above it, its sides tangent to both.
Shape Drop(float cx, float cy, float r, float tip, float h)
{
    const float b = (r - tip) / h;
    const float a = std::sqrt(1 - b * b);
    return [=](float x, float y) {
        const float px = std::fabs(x - cx);
        const float py = cy - y;
        const float k = -b * px + a * py;
        if (k < 0)
            return std::hypot(px, py) - r;
        if (k > a * h)
            return std::hypot(px, py - h) - tip;
        return a * px + b * py - r;
    };
}

Shape Grown(Shape shape, float amount)
{
    return [shape, amount](float x, float y) { return shape(x, y) - amount; };
}

// ---------------------------------------------------------------------------
// The pictures.

// A soft round glow, brightest in the middle, white so that each spark's
// colour tints it; it fades to nothing before the edge of its 32 x 32 square.
Canvas SparkImage()
{
    Canvas canvas = NewCanvas(32, 32);
    for (int32_t y = 0; y < 32; ++y) {
        for (int32_t x = 0; x < 32; ++x) {
            const float t = std::min(1.0f, std::hypot(x + 0.5f - 16, y + 0.5f - 16) / 15.5f);
            const float glow = std::pow(1 - t, 2.2f);
            const float core = std::pow(std::max(0.0f, 1 - t * 2.5f), 1.5f);
            canvas.pixels[size_t(y) * 32 + x] = {1, 1, 1, std::min(1.0f, glow * 0.9f + core * 0.6f)};
        }
    }
    return canvas;
}

// The colour bomb in light greys, tinted by the block's colour when drawn: a
// round shell lit from the top left, a cap, a fuse and its spark.
void PaintBomb(Canvas& canvas, int32_t left, int32_t top)
{
    const Colour rim = {0.35f, 0.35f, 0.35f, 1};
    const Shape body = Circle(28, 38, 19);
    const Shape cap = RoundedBox(41, 23.5f, 6, 4.5f, -0.785f, 1.5f);
    Paint(canvas, left, top, 64, Grown(cap, 1.5f), Flat(rim));
    Paint(canvas, left, top, 64, cap, Flat({0.75f, 0.75f, 0.75f, 1}));
    Paint(canvas, left, top, 64, body, Flat(rim));
    Paint(canvas, left, top, 64, Grown(body, -2), [](float x, float y) {
        const float light = std::clamp(1.0f - std::hypot(x - 20, y - 30) / 34.0f, 0.0f, 1.0f);
        return Colour{0.55f + 0.45f * light, 0.55f + 0.45f * light, 0.55f + 0.45f * light, 1};
    });
    Paint(canvas, left, top, 64, Ellipse(21, 30, 5.5f, 3.5f), Flat({1, 1, 1, 0.85f}));
    const std::vector<float> fuse = {45, 18, 48, 13, 52, 10, 55, 9};
    Paint(canvas, left, top, 64, Stroke(fuse, 2.2f), Flat(rim));
    Paint(canvas, left, top, 64, Stroke(fuse, 1.2f), Flat({0.9f, 0.9f, 0.9f, 1}));
    Paint(canvas, left, top, 64, Circle(56, 8, 7), Flat({1, 1, 1, 0.3f}));
    Paint(canvas, left, top, 64, Stroke({50, 8, 62, 8}, 0.8f), Flat({1, 1, 1, 1}));
    Paint(canvas, left, top, 64, Stroke({56, 2, 56, 14}, 0.8f), Flat({1, 1, 1, 1}));
    Paint(canvas, left, top, 64, Stroke({52, 4, 60, 12}, 0.6f), Flat({1, 1, 1, 0.9f}));
    Paint(canvas, left, top, 64, Stroke({52, 12, 60, 4}, 0.6f), Flat({1, 1, 1, 0.9f}));
    Paint(canvas, left, top, 64, Circle(56, 8, 2.2f), Flat({1, 1, 1, 1}));
}

// A drop of paint in its colour, with a dark rim, shading toward the lower
// right, a highlight and a small splash beside it.
void PaintDrop(Canvas& canvas, int32_t left, int32_t top, Colour paint)
{
    const Shape drop = Drop(32, 39, 17, 1.5f, 31);
    const Shape splash = Circle(50, 16, 4);
    for (const Shape& shape : {drop, splash}) {
        Paint(canvas, left, top, 64, shape, Flat(Scaled(paint, 0.45f)));
        Paint(canvas, left, top, 64, Grown(shape, -2), [paint](float x, float y) {
            const float light = std::clamp(1.15f - std::hypot(x - 26, y - 30) / 30.0f, 0.6f, 1.15f);
            return Scaled(paint, light);
        });
    }
    Paint(canvas, left, top, 64, Ellipse(24.5f, 37, 3.5f, 6.5f), Flat({1, 1, 1, 0.75f}));
    Paint(canvas, left, top, 64, Circle(27, 47, 1.8f), Flat({1, 1, 1, 0.6f}));
}

// 320 x 128 in 64 x 64 cells: the colour bomb at row 0 cell 1, the paint drops of
// colours 1 to 5 at row 1 cells 0 to 4.
Canvas SpecialSheet()
{
    const Colour paints[5] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 1, 1, 1}, {1, 1, 0, 1}, {0.78f, 0.78f, 0.78f, 1}};
    Canvas canvas = NewCanvas(320, 128);
    PaintBomb(canvas, 64, 0);
    for (int32_t cell = 0; cell < 5; ++cell)
        PaintDrop(canvas, 64 * cell, 64, paints[cell]);
    return canvas;
}

uint8_t ToByte(float value)
{
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
}

// ---------------------------------------------------------------------------
// Writers.

void PutU32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

// An uncompressed A8R8G8B8 DDS of one level.
std::vector<uint8_t> DdsBytes(const Canvas& canvas)
{
    std::vector<uint8_t> bytes = {'D', 'D', 'S', ' '};
    const uint32_t width = uint32_t(canvas.width);
    const uint32_t height = uint32_t(canvas.height);
    const uint32_t header[31] = {124, 0x100F, height, width, width * 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 32, 0x41, 0, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0x1000};
    for (uint32_t field : header)
        PutU32(bytes, field);
    for (const Colour& pixel : canvas.pixels)
        PutU32(bytes, uint32_t(ToByte(pixel.a)) << 24 | uint32_t(ToByte(pixel.r)) << 16 |
                          uint32_t(ToByte(pixel.g)) << 8 | ToByte(pixel.b));
    return bytes;
}

bool WriteDds(const std::string& path, const Canvas& canvas)
{
    const std::vector<uint8_t> bytes = DdsBytes(canvas);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

SDL_Surface* SurfaceOf(const Canvas& canvas)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, canvas.width, canvas.height, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface)
        return nullptr;
    for (int32_t y = 0; y < canvas.height; ++y) {
        auto* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int32_t x = 0; x < canvas.width; ++x) {
            const Colour& pixel = canvas.pixels[size_t(y) * canvas.width + x];
            const uint8_t rgba[4] = {ToByte(pixel.r), ToByte(pixel.g), ToByte(pixel.b), ToByte(pixel.a)};
            std::copy(rgba, rgba + 4, row + x * 4);
        }
    }
    return surface;
}

bool WritePng(const std::string& path, const Canvas& canvas)
{
    SDL_Surface* surface = SurfaceOf(canvas);
    const bool written = surface && IMG_SavePNG(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return written;
}

// An opaque white 8 x 8 image: any texel of it is the plain fill.
bool WriteMask(const std::string& path)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, 8, 8, 24, SDL_PIXELFORMAT_RGB24);
    if (!surface)
        return false;
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 255, 255, 255));
    const bool written = SDL_SaveBMP(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return written;
}

}  // namespace

bool WriteImages(const std::string& directory)
{
    bool ok = WriteDds(directory + "/bubble.dds", SparkImage());
    ok = WritePng(directory + "/special.png", SpecialSheet()) && ok;
    ok = WriteMask(directory + "/mask.bmp") && ok;
    return ok;
}
