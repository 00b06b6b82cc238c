// The texture table and the image readers (PNG and BMP through SDL2_image, DDS
// our own), and the sprites drawn from it.
#include <algorithm>
#include <cstring>
#include <fstream>

#include <SDL.h>
#include <SDL_image.h>

#include "render/RenderLocal.h"

TextureTableRecord TextureTable = {nullptr, 0, 0};

namespace {

constexpr uint32_t TableGrowth = 10;
constexpr std::streamoff MaxImageFileBytes = 512 << 20;

void SetSampling(bool mipmapped)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// The texture bound to GL_TEXTURE_2D when GL took the images, else deleted and 0.
uint32_t KeepIfAccepted(GLuint texture)
{
    if (glGetError() == GL_NO_ERROR)
        return texture;
    glDeleteTextures(1, &texture);
    return 0;
}

GLuint NewTexture()
{
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return texture;
}

GLenum CompressedFormat(DdsFormat format)
{
    switch (format) {
    case DdsFormat::Dxt1: return GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
    case DdsFormat::Dxt3: return GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    default: return GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    }
}

// Blocks go to the GPU as they are when it reads them and the file brings its
// whole mip chain; anything else is decoded here and its chain built by GL.
bool UploadsCompressed(const DdsImage& image)
{
    uint32_t fullChain = 1;
    for (uint32_t size = std::max(image.width, image.height); size > 1; size >>= 1)
        ++fullChain;
    return image.format != DdsFormat::Rgba8 && image.levels.size() == fullChain &&
           epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
}

uint32_t CreateCompressedTexture(const DdsImage& image)
{
    const GLuint texture = NewTexture();
    for (uint32_t level = 0; level < image.levels.size(); ++level)
        glCompressedTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), CompressedFormat(image.format),
                               static_cast<GLsizei>(DdsLevelWidth(image, level)),
                               static_cast<GLsizei>(DdsLevelHeight(image, level)), 0,
                               static_cast<GLsizei>(image.levels[level].size()), image.levels[level].data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(image.levels.size() - 1));
    SetSampling(true);
    return KeepIfAccepted(texture);
}

bool ReadWholeFile(const char* fileName, std::vector<uint8_t>& bytes)
{
    std::ifstream file(fileName, std::ios::binary | std::ios::ate);
    if (!file)
        return false;
    const std::streamoff size = file.tellg();
    if (size <= 0 || size > MaxImageFileBytes)
        return false;
    bytes.resize(static_cast<size_t>(size));
    file.seekg(0);
    return static_cast<bool>(file.read(reinterpret_cast<char*>(bytes.data()), size));
}

uint32_t LoadDds(const std::vector<uint8_t>& bytes, TextureEntry& entry)
{
    DdsImage image;
    if (!ParseDds(bytes.data(), bytes.size(), image))
        return 0;
    entry.width = image.width;
    entry.height = image.height;
    if (UploadsCompressed(image))
        return CreateCompressedTexture(image);
    const std::vector<uint8_t> rgba = DdsLevelRgba(image, 0);
    return CreateRgbaTexture(image.width, image.height, rgba.data(), true);
}

uint32_t ReadBigEndian32(const uint8_t* at)
{
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

uint32_t MagnitudeLittleEndian32(const uint8_t* at)
{
    const int64_t value = int32_t(uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24);
    return static_cast<uint32_t>(value < 0 ? -value : value);
}

// The size a PNG or BMP header declares, checked before the decoder is asked to
// allocate for it; other formats are left to the decoder.
bool DeclaredSizeFits(const std::vector<uint8_t>& bytes)
{
    static const uint8_t pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint32_t width = 0, height = 0;
    if (bytes.size() >= 24 && std::memcmp(bytes.data(), pngSignature, 8) == 0) {
        width = ReadBigEndian32(&bytes[16]);
        height = ReadBigEndian32(&bytes[20]);
    } else if (bytes.size() >= 26 && bytes[0] == 'B' && bytes[1] == 'M') {
        width = MagnitudeLittleEndian32(&bytes[18]);
        height = MagnitudeLittleEndian32(&bytes[22]);
    }
    return width <= MaxImageDimension && height <= MaxImageDimension;
}

uint32_t LoadSdlImage(const std::vector<uint8_t>& bytes, TextureEntry& entry)
{
    if (!DeclaredSizeFits(bytes))
        return 0;
    SDL_Surface* loaded = IMG_Load_RW(SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size())), 1);
    if (!loaded)
        return 0;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    if (!rgba)
        return 0;
    entry.width = static_cast<uint32_t>(rgba->w);
    entry.height = static_cast<uint32_t>(rgba->h);
    std::vector<uint8_t> pixels(size_t(rgba->w) * rgba->h * 4);
    for (int32_t row = 0; row < rgba->h; ++row)
        std::memcpy(pixels.data() + size_t(row) * rgba->w * 4, static_cast<uint8_t*>(rgba->pixels) + row * rgba->pitch,
                    size_t(rgba->w) * 4);
    SDL_FreeSurface(rgba);
    return CreateRgbaTexture(entry.width, entry.height, pixels.data(), true);
}

void UploadLevel(GLint level, uint32_t width, uint32_t height, const uint8_t* rgba)
{
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
}

// The next level down: each texel the mean of the four it covers (an odd last row
// or column is left out, as GL halves sizes).
std::vector<uint8_t> HalfLevel(const std::vector<uint8_t>& rgba, uint32_t width, uint32_t height)
{
    const uint32_t halfWidth = std::max(1u, width / 2);
    const uint32_t halfHeight = std::max(1u, height / 2);
    const auto at = [&](uint32_t x, uint32_t y, uint32_t channel) {
        return uint32_t{rgba[(size_t(std::min(y, height - 1)) * width + std::min(x, width - 1)) * 4 + channel]};
    };
    std::vector<uint8_t> half(size_t(halfWidth) * halfHeight * 4);
    for (uint32_t y = 0; y < halfHeight; ++y)
        for (uint32_t x = 0; x < halfWidth; ++x)
            for (uint32_t c = 0; c < 4; ++c) {
                const uint32_t sum = at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) +
                                     at(2 * x + 1, 2 * y + 1, c);
                half[(size_t(y) * halfWidth + x) * 4 + c] = static_cast<uint8_t>((sum + 2) / 4);
            }
    return half;
}

// The mip chain is made here rather than by glGenerateMipmap, for which Mesa's
// software renderer compiles shaders: that held the start of a match for a tenth
// of a second.
void UploadSmallerLevels(uint32_t width, uint32_t height, const uint8_t* rgba)
{
    std::vector<uint8_t> level(rgba, rgba + size_t(width) * height * 4);
    for (GLint index = 1; width > 1 || height > 1; ++index) {
        level = HalfLevel(level, width, height);
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        UploadLevel(index, width, height, level.data());
    }
}

// The file's texture; DDS is told by its content, not by its name.
uint32_t LoadImageFile(const char* fileName, TextureEntry& entry)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(fileName, bytes))
        return 0;
    if (bytes.size() >= 4 && std::memcmp(bytes.data(), "DDS ", 4) == 0)
        return LoadDds(bytes, entry);
    return LoadSdlImage(bytes, entry);
}

int32_t FindTexture(const char* fileName)
{
    for (uint32_t slot = 0; slot < TextureTable.textureCount; ++slot)
        if (std::strcmp(TextureTable.entries[slot].fileName, fileName) == 0)
            return static_cast<int32_t>(slot);
    return -1;
}

void GrowTable()
{
    const uint32_t capacity = TextureTable.textureCapacity + TableGrowth;
    auto* entries = new TextureEntry[capacity]();
    std::copy(TextureTable.entries, TextureTable.entries + TextureTable.textureCount, entries);
    delete[] TextureTable.entries;
    TextureTable.entries = entries;
    TextureTable.textureCapacity = capacity;
}

}  // namespace

uint32_t CreateRgbaTexture(uint32_t width, uint32_t height, const uint8_t* rgba, bool mipmapped)
{
    const GLuint texture = NewTexture();
    UploadLevel(0, width, height, rgba);
    SetSampling(mipmapped);
    if (mipmapped)
        UploadSmallerLevels(width, height, rgba);
    return KeepIfAccepted(texture);
}

int32_t LoadTexture(const char* fileName)
{
    if (!DeviceReady || !fileName)
        return -1;
    const int32_t known = FindTexture(fileName);
    if (known >= 0)
        return known;
    if (TextureTable.textureCount == TextureTable.textureCapacity)
        GrowTable();
    TextureEntry loaded = {};
    loaded.texture = LoadImageFile(fileName, loaded);
    if (!loaded.texture)
        return -1;
    std::strncpy(loaded.fileName, fileName, sizeof(loaded.fileName) - 1);
    TextureTable.entries[TextureTable.textureCount] = loaded;
    return static_cast<int32_t>(TextureTable.textureCount++);
}

// Sprites are queued in call order with lines and text like everything else, so
// the bracket needs no work of its own.
void BeginSprites() {}
void EndSprites() {}

// The source rectangle stretched over the destination: scaled by the ratio of
// their sizes, the source's corner lands on the destination's, so the quad's
// corners are the destination's (a reversed destination mirrors the image).
bool DrawTexture(int32_t slot, uint32_t colour, RectI destination, RectI source)
{
    if (!DeviceReady || slot < 0 || static_cast<uint32_t>(slot) >= TextureTable.textureCapacity)
        return false;
    const TextureEntry& entry = TextureTable.entries[slot];
    if (!entry.texture || source.right == source.left || source.bottom == source.top)
        return false;
    const float width = static_cast<float>(entry.width);
    const float height = static_cast<float>(entry.height);
    const QuadCorners quad = {float(destination.left), float(destination.top), float(destination.right),
                              float(destination.bottom), source.left / width, source.top / height,
                              source.right / width, source.bottom / height};
    QueueQuad(entry.texture, quad, colour);
    ++CurrentFrameStats.sprites;
    return true;
}
