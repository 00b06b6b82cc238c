// The window icon: four coloured block outlines piled on a dark tile, drawn
// with anti-aliased edges from signed distances.
#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cmath>

#include "Assets.h"

namespace {

constexpr int IconSize = 64;

struct Colour {
    float r, g, b;
};

struct Pixel {
    Colour colour;
    float alpha;
};

struct Block {
    float x, y, half, angle;
    Colour colour;
};

const Block Pile[] = {
    {18.0f, 45.5f, 8.5f, 0.0f, {1.0f, 0.2f, 0.2f}},    // red
    {40.5f, 45.0f, 8.5f, 0.1f, {0.25f, 1.0f, 0.3f}},  // green
    {26.0f, 25.5f, 8.0f, -0.4f, {0.2f, 1.0f, 1.0f}},  // cyan
    {47.0f, 22.0f, 6.0f, 0.55f, {1.0f, 1.0f, 0.2f}},  // yellow
};

// Distance from (px, py) to the edge of a rotated square, negative inside.
float SquareDistance(float px, float py, float cx, float cy, float half, float angle)
{
    const float dx = px - cx;
    const float dy = py - cy;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float qx = std::fabs(c * dx + s * dy) - half;
    const float qy = std::fabs(-s * dx + c * dy) - half;
    const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    return outside + std::min(std::max(qx, qy), 0.0f);
}

// A rounded tile: the square shrunk by the radius, then grown back round.
float TileDistance(float px, float py)
{
    const float radius = 11.0f;
    const float centre = IconSize / 2.0f;
    return SquareDistance(px, py, centre, centre, centre - 1.0f - radius, 0.0f) - radius;
}

float Coverage(float distance)
{
    return std::clamp(0.5f - distance, 0.0f, 1.0f);
}

void Blend(Pixel& pixel, Colour colour, float alpha)
{
    pixel.colour.r += (colour.r - pixel.colour.r) * alpha;
    pixel.colour.g += (colour.g - pixel.colour.g) * alpha;
    pixel.colour.b += (colour.b - pixel.colour.b) * alpha;
}

Pixel IconPixel(float px, float py)
{
    const float shade = 0.06f + 0.08f * (1.0f - py / IconSize);
    Pixel pixel = {{shade, shade, shade * 2.0f}, Coverage(TileDistance(px, py))};
    Blend(pixel, {0.5f, 0.5f, 0.6f}, 0.6f * Coverage(std::fabs(py - 55.5f) - 0.6f) * (px > 5 && px < 59));
    for (const Block& block : Pile) {
        const float d = SquareDistance(px, py, block.x, block.y, block.half, block.angle);
        Blend(pixel, block.colour, 0.18f * Coverage(d));
        Blend(pixel, block.colour, Coverage(std::fabs(d) - 1.1f));
    }
    return pixel;
}

uint8_t Byte(float value)
{
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

bool WriteIcon(const std::string& directory)
{
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(0, IconSize, IconSize, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface)
        return false;
    for (int y = 0; y < IconSize; ++y) {
        uint8_t* row = static_cast<uint8_t*>(surface->pixels) + y * surface->pitch;
        for (int x = 0; x < IconSize; ++x) {
            const Pixel pixel = IconPixel(x + 0.5f, y + 0.5f);
            const uint8_t rgba[4] = {Byte(pixel.colour.r), Byte(pixel.colour.g), Byte(pixel.colour.b),
                                     Byte(pixel.alpha)};
            std::copy(rgba, rgba + 4, row + 4 * x);
        }
    }
    const bool saved = IMG_SavePNG(surface, (directory + "/icon.png").c_str()) == 0;
    SDL_FreeSurface(surface);
    return saved;
}
