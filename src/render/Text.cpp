// Fonts through fontconfig and SDL2_ttf, drawn from a glyph atlas that each
// font renders once when it is created.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include "render/RenderLocal.h"

Font* SmallFont = nullptr;
Font* MiddleFont = nullptr;
Font* LargeFont = nullptr;

namespace {

// The printable ASCII range: every text the game shows.
constexpr uint32_t FirstGlyph = 32;
constexpr uint32_t GlyphCount = 95;
// Taller than half the picture is no text size; larger requests are cut to this.
constexpr int32_t MaxCellHeight = 300;
constexpr int32_t AtlasMinimumWidth = 1024;

// Where a glyph's cell sits in the atlas and how it sits on the line: the cell's
// left edge lies offsetX from the pen, its top offsetY below the line's top.
struct Glyph {
    int32_t atlasX, atlasY, width, height;
    int32_t offsetX, offsetY;
    int32_t advance;
};

}  // namespace

struct Font {
    int32_t height;  // the cell height asked for: one line of text
    uint32_t texture;
    int32_t atlasWidth, atlasHeight;
    Glyph glyphs[GlyphCount];
};

namespace {

struct FontFile {
    std::string path;
    int32_t index;
};

// The file fontconfig picks for a face; a face the system lacks (a Windows name
// such as "Small Fonts") gets the system's sans face.
bool MatchFontFile(const char* face, FontFile& file)
{
    static const bool ready = FcInit() == FcTrue;
    if (!ready)
        return false;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    FcChar8* path = nullptr;
    int index = 0;
    const bool found = match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
    if (found) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        file = {reinterpret_cast<const char*>(path), index};
    }
    if (match)
        FcPatternDestroy(match);
    return found;
}

// The largest point size whose line height does not pass the cell height; with
// DejaVu Sans the cells 16, 32 and 40 come out exactly (13, 27 and 34 points).
void FitCellHeight(TTF_Font* font, int32_t cellHeight)
{
    int32_t low = 1;
    int32_t high = cellHeight;
    while (low < high) {
        const int32_t middle = (low + high + 1) / 2;
        TTF_SetFontSize(font, middle);
        if (TTF_FontHeight(font) <= cellHeight)
            low = middle;
        else
            high = middle - 1;
    }
    TTF_SetFontSize(font, low);
}

TTF_Font* OpenAtCellHeight(const char* face, int32_t cellHeight)
{
    if (!TTF_WasInit() && TTF_Init() != 0)
        return nullptr;
    FontFile file;
    if (!MatchFontFile(face, file) && !MatchFontFile("sans-serif", file))
        return nullptr;
    TTF_Font* font = TTF_OpenFontIndex(file.path.c_str(), cellHeight, file.index);
    if (!font)
        return nullptr;
    TTF_SetFontKerning(font, 0);
    FitCellHeight(font, cellHeight);
    return font;
}

// A rendered glyph cell (none for a glyph the face lacks) has the pen at x = max(0, -minx) and the line's top at
// y = max(0, maxy - ascent).
Glyph MeasureGlyph(TTF_Font* font, uint32_t character, const SDL_Surface* cell)
{
    int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
    TTF_GlyphMetrics32(font, character, &minX, &maxX, &minY, &maxY, &advance);
    Glyph glyph = {};
    glyph.width = cell ? cell->w : 0;
    glyph.height = cell ? cell->h : 0;
    glyph.offsetX = -std::max(0, -minX);
    glyph.offsetY = -std::max(0, maxY - TTF_FontAscent(font));
    glyph.advance = advance;
    return glyph;
}

// Coverage becomes the alpha of white texels, so the label's colour tints it.
void CopyCoverage(const SDL_Surface* cell, const Glyph& glyph, std::vector<uint8_t>& atlas, int32_t atlasWidth)
{
    for (int32_t y = 0; y < cell->h; ++y) {
        const auto* row = static_cast<const uint32_t*>(cell->pixels) + y * (cell->pitch / 4);
        for (int32_t x = 0; x < cell->w; ++x) {
            uint8_t* texel = &atlas[(size_t(glyph.atlasY + y) * atlasWidth + glyph.atlasX + x) * 4];
            std::memset(texel, 255, 3);
            texel[3] = static_cast<uint8_t>(row[x] >> cell->format->Ashift);
        }
    }
}

// Blended glyphs already come as ARGB; converting each one anyway took a third of
// the fonts' share of the start-up.
SDL_Surface* AsArgb(SDL_Surface* rendered)
{
    if (!rendered || rendered->format->format == SDL_PIXELFORMAT_ARGB8888)
        return rendered;
    SDL_Surface* cell = SDL_ConvertSurfaceFormat(rendered, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(rendered);
    return cell;
}

std::vector<SDL_Surface*> RenderCells(TTF_Font* font)
{
    std::vector<SDL_Surface*> cells;
    for (uint32_t i = 0; i < GlyphCount; ++i)
        cells.push_back(AsArgb(TTF_RenderGlyph32_Blended(font, FirstGlyph + i, SDL_Color{255, 255, 255, 255})));
    return cells;
}

// Shelf packing: cells left to right in rows as high as the tallest cell, one
// texel apart so that filtering never reaches a neighbour.
void PackCells(Font& font, const std::vector<SDL_Surface*>& cells)
{
    int32_t widest = 0;
    int32_t tallest = 0;
    for (const SDL_Surface* cell : cells) {
        widest = std::max(widest, cell ? cell->w : 0);
        tallest = std::max(tallest, cell ? cell->h : 0);
    }
    font.atlasWidth = std::max(AtlasMinimumWidth, widest + 1);
    int32_t x = 0;
    int32_t y = 0;
    for (uint32_t i = 0; i < GlyphCount; ++i) {
        const int32_t width = cells[i] ? cells[i]->w : 0;
        if (x + width + 1 > font.atlasWidth) {
            x = 0;
            y += tallest + 1;
        }
        font.glyphs[i].atlasX = x;
        font.glyphs[i].atlasY = y;
        x += width + 1;
    }
    font.atlasHeight = y + tallest + 1;
}

bool BuildAtlas(TTF_Font* ttf, Font& font)
{
    const std::vector<SDL_Surface*> cells = RenderCells(ttf);
    PackCells(font, cells);
    std::vector<uint8_t> atlas(size_t(font.atlasWidth) * font.atlasHeight * 4, 0);
    for (uint32_t i = 0; i < GlyphCount; ++i) {
        const Glyph packed = font.glyphs[i];
        font.glyphs[i] = MeasureGlyph(ttf, FirstGlyph + i, cells[i]);
        font.glyphs[i].atlasX = packed.atlasX;
        font.glyphs[i].atlasY = packed.atlasY;
        if (cells[i])
            CopyCoverage(cells[i], font.glyphs[i], atlas, font.atlasWidth);
        SDL_FreeSurface(cells[i]);
    }
    font.texture = CreateRgbaTexture(uint32_t(font.atlasWidth), uint32_t(font.atlasHeight), atlas.data(), false);
    return font.texture != 0;
}

const Glyph* GlyphOf(const Font& font, char character)
{
    const auto code = static_cast<uint8_t>(character);
    if (code < FirstGlyph || code >= FirstGlyph + GlyphCount)
        return nullptr;
    return &font.glyphs[code - FirstGlyph];
}

// The text's lines: split at each '\n'; a closing '\n' opens no further line.
std::vector<std::string> SplitLines(const char* text)
{
    std::vector<std::string> lines(1);
    for (const char* c = text; *c; ++c) {
        if (*c == '\n')
            lines.emplace_back();
        else
            lines.back() += *c;
    }
    if (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return lines;
}

int32_t LineWidth(const Font& font, const std::string& line)
{
    int32_t width = 0;
    for (char character : line)
        if (const Glyph* glyph = GlyphOf(font, character))
            width += glyph->advance;
    return width;
}

// The glyph's quad cut to the label's rectangle, its texture coordinates cut along.
bool ClipQuad(QuadCorners& quad, const RectI& clip)
{
    const float left = std::max(quad.left, float(clip.left));
    const float right = std::min(quad.right, float(clip.right));
    const float top = std::max(quad.top, float(clip.top));
    const float bottom = std::min(quad.bottom, float(clip.bottom));
    if (left >= right || top >= bottom)
        return false;
    const float du = (quad.u1 - quad.u0) / (quad.right - quad.left);
    const float dv = (quad.v1 - quad.v0) / (quad.bottom - quad.top);
    quad = {left, top, right, bottom, quad.u0 + (left - quad.left) * du, quad.v0 + (top - quad.top) * dv,
            quad.u1 - (quad.right - right) * du, quad.v1 - (quad.bottom - bottom) * dv};
    return true;
}

void QueueGlyph(const Font& font, const Glyph& glyph, int32_t penX, int32_t lineTop, const RectI& clip,
                uint32_t colour)
{
    const float left = float(penX + glyph.offsetX);
    const float top = float(lineTop + glyph.offsetY);
    QuadCorners quad = {left, top, left + glyph.width, top + glyph.height,
                        float(glyph.atlasX) / font.atlasWidth, float(glyph.atlasY) / font.atlasHeight,
                        float(glyph.atlasX + glyph.width) / font.atlasWidth,
                        float(glyph.atlasY + glyph.height) / font.atlasHeight};
    if (ClipQuad(quad, clip))
        QueueQuad(font.texture, quad, colour);
}

int32_t LineLeft(const RectI& rectangle, int32_t width, uint32_t format)
{
    if (format & DT_CENTER)
        return rectangle.left + (rectangle.right - rectangle.left - width) / 2;
    if (format & DT_RIGHT)
        return rectangle.right - width;
    return rectangle.left;
}

}  // namespace

Font* CreateFont(const char* face, int32_t height)
{
    if (!DeviceReady || !face || height <= 0)
        return nullptr;
    const int32_t cellHeight = std::min(height, MaxCellHeight);
    TTF_Font* ttf = OpenAtCellHeight(face, cellHeight);
    if (!ttf)
        return nullptr;
    auto* font = new Font();
    font->height = cellHeight;
    const bool built = BuildAtlas(ttf, *font);
    TTF_CloseFont(ttf);
    if (built)
        return font;
    delete font;
    return nullptr;
}

void ReleaseFont(Font* font)
{
    if (!font)
        return;
    glDeleteTextures(1, &font->texture);
    delete font;
}

// Lines are one cell high; the text is clipped to its rectangle. DT_VCENTER
// centres the block of lines as a whole.
void DrawLabel(const Font* font, const char* text, RectI rectangle, uint32_t format, uint32_t colour)
{
    if (!DeviceReady || !font || !text)
        return;
    const std::vector<std::string> lines = SplitLines(text);
    int32_t lineTop = rectangle.top;
    if (format & DT_VCENTER)
        lineTop += (rectangle.bottom - rectangle.top - int32_t(lines.size()) * font->height) / 2;
    for (const std::string& line : lines) {
        int32_t penX = LineLeft(rectangle, LineWidth(*font, line), format);
        for (char character : line) {
            if (const Glyph* glyph = GlyphOf(*font, character)) {
                QueueGlyph(*font, *glyph, penX, lineTop, rectangle, colour);
                penX += glyph->advance;
            }
        }
        lineTop += font->height;
    }
}
