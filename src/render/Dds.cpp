// The DDS reader: uncompressed 32-bit and DXT1/3/5 images. It trusts nothing in
// the file: every size is checked against the bytes that are really there
// before anything is read or allocated.
#include <algorithm>
#include <cstring>

#include "render/Render.h"

namespace {

constexpr uint32_t HeaderOffset = 4;     // after the magic "DDS "
constexpr uint32_t DataOffset = 128;     // magic and the 124-byte header

constexpr uint32_t FlagMipMapCount = 0x20000;
constexpr uint32_t PixelAlpha = 0x1;
constexpr uint32_t PixelFourCc = 0x4;
constexpr uint32_t PixelRgb = 0x40;
constexpr uint32_t Caps2CubeOrVolume = 0x200 | 0x200000;

uint32_t ReadU32(const uint8_t* bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

constexpr uint32_t FourCc(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 | uint32_t(uint8_t(d)) << 24;
}

// The header fields the reader uses, at their offsets after the magic.
struct DdsHeader {
    uint32_t size, flags, height, width, mipMapCount;
    uint32_t pixelSize, pixelFlags, fourCc, bitCount, masks[4];  // masks: red, green, blue, alpha
    uint32_t caps2;
};

DdsHeader ReadHeader(const uint8_t* header)
{
    DdsHeader h = {};
    h.size = ReadU32(header);
    h.flags = ReadU32(header + 4);
    h.height = ReadU32(header + 8);
    h.width = ReadU32(header + 12);
    h.mipMapCount = ReadU32(header + 24);
    h.pixelSize = ReadU32(header + 72);
    h.pixelFlags = ReadU32(header + 76);
    h.fourCc = ReadU32(header + 80);
    h.bitCount = ReadU32(header + 84);
    for (int i = 0; i < 4; ++i)
        h.masks[i] = ReadU32(header + 88 + 4 * i);
    h.caps2 = ReadU32(header + 108);
    return h;
}

bool FormatOf(const DdsHeader& header, DdsFormat& format)
{
    if (header.pixelFlags & PixelFourCc) {
        switch (header.fourCc) {
        case FourCc('D', 'X', 'T', '1'): format = DdsFormat::Dxt1; return true;
        case FourCc('D', 'X', 'T', '3'): format = DdsFormat::Dxt3; return true;
        case FourCc('D', 'X', 'T', '5'): format = DdsFormat::Dxt5; return true;
        default: return false;
        }
    }
    format = DdsFormat::Rgba8;
    return (header.pixelFlags & PixelRgb) && header.bitCount == 32;
}

uint32_t LevelCount(const DdsHeader& header)
{
    uint32_t fullChain = 1;
    for (uint32_t size = std::max(header.width, header.height); size > 1; size >>= 1)
        ++fullChain;
    if (!(header.flags & FlagMipMapCount) || header.mipMapCount == 0)
        return 1;
    return std::min(header.mipMapCount, fullChain);
}

uint32_t BlockBytes(DdsFormat format)
{
    return format == DdsFormat::Dxt1 ? 8 : 16;
}

// Bytes of one level as stored in the file.
uint64_t StoredLevelBytes(DdsFormat format, uint32_t width, uint32_t height)
{
    if (format == DdsFormat::Rgba8)
        return uint64_t(width) * height * 4;
    return uint64_t((width + 3) / 4) * ((height + 3) / 4) * BlockBytes(format);
}

// One channel of a masked 32-bit pixel widened or narrowed to 8 bits.
uint8_t MaskedChannel(uint32_t pixel, uint32_t mask, uint8_t absent)
{
    if (mask == 0)
        return absent;
    uint32_t shift = 0;
    while (!((mask >> shift) & 1))
        ++shift;
    const uint64_t maximum = mask >> shift;
    return static_cast<uint8_t>(uint64_t((pixel & mask) >> shift) * 255 / maximum);
}

std::vector<uint8_t> UnpackMasked(const uint8_t* data, uint64_t pixels, const DdsHeader& header)
{
    const uint32_t alphaMask = (header.pixelFlags & PixelAlpha) ? header.masks[3] : 0;
    std::vector<uint8_t> rgba(pixels * 4);
    for (uint64_t i = 0; i < pixels; ++i) {
        const uint32_t pixel = ReadU32(data + i * 4);
        for (int channel = 0; channel < 3; ++channel)
            rgba[i * 4 + channel] = MaskedChannel(pixel, header.masks[channel], 0);
        rgba[i * 4 + 3] = MaskedChannel(pixel, alphaMask, 255);
    }
    return rgba;
}

// ---------------------------------------------------------------------------
// DXT blocks: 4 x 4 texels each, rows of blocks top first.

struct Rgba {
    uint8_t r, g, b, a;
};

Rgba FromRgb565(uint16_t colour)
{
    const uint8_t r = (colour >> 11) & 0x1F;
    const uint8_t g = (colour >> 5) & 0x3F;
    const uint8_t b = colour & 0x1F;
    return {uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2), 255};
}

Rgba Mix(Rgba a, Rgba b, int weightA, int weightB)
{
    const int total = weightA + weightB;
    return {uint8_t((a.r * weightA + b.r * weightB) / total), uint8_t((a.g * weightA + b.g * weightB) / total),
            uint8_t((a.b * weightA + b.b * weightB) / total), 255};
}

// DXT1 blocks whose first colour is not above the second have three colours and
// transparent black; DXT3 and DXT5 colour blocks always have four.
void DecodeColourBlock(const uint8_t* block, bool allowTransparent, Rgba texels[16])
{
    const uint16_t c0 = uint16_t(block[0] | block[1] << 8);
    const uint16_t c1 = uint16_t(block[2] | block[3] << 8);
    Rgba palette[4] = {FromRgb565(c0), FromRgb565(c1), {}, {}};
    if (c0 > c1 || !allowTransparent) {
        palette[2] = Mix(palette[0], palette[1], 2, 1);
        palette[3] = Mix(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = Mix(palette[0], palette[1], 1, 1);
        palette[3] = {0, 0, 0, 0};
    }
    const uint32_t indices = ReadU32(block + 4);
    for (int i = 0; i < 16; ++i)
        texels[i] = palette[(indices >> (2 * i)) & 3];
}

void DecodeExplicitAlpha(const uint8_t* block, Rgba texels[16])
{
    for (int i = 0; i < 16; ++i) {
        const uint8_t nibble = (block[i / 2] >> (4 * (i % 2))) & 0xF;
        texels[i].a = uint8_t(nibble * 17);
    }
}

void DecodeInterpolatedAlpha(const uint8_t* block, Rgba texels[16])
{
    const int a0 = block[0];
    const int a1 = block[1];
    uint8_t palette[8] = {uint8_t(a0), uint8_t(a1)};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            palette[i + 1] = uint8_t(((7 - i) * a0 + i * a1) / 7);
    } else {
        for (int i = 1; i < 5; ++i)
            palette[i + 1] = uint8_t(((5 - i) * a0 + i * a1) / 5);
        palette[6] = 0;
        palette[7] = 255;
    }
    uint64_t indices = 0;
    for (int i = 0; i < 6; ++i)
        indices |= uint64_t(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        texels[i].a = palette[(indices >> (3 * i)) & 7];
}

void DecodeBlock(DdsFormat format, const uint8_t* block, Rgba texels[16])
{
    if (format == DdsFormat::Dxt1) {
        DecodeColourBlock(block, true, texels);
        return;
    }
    DecodeColourBlock(block + 8, false, texels);
    if (format == DdsFormat::Dxt3)
        DecodeExplicitAlpha(block, texels);
    else
        DecodeInterpolatedAlpha(block, texels);
}

// Blocks at the right and bottom edges may hang over the image; their extra texels are dropped.
void StoreBlock(const Rgba texels[16], uint32_t blockX, uint32_t blockY, uint32_t width, uint32_t height,
                uint8_t* rgba)
{
    for (uint32_t y = 0; y < 4 && blockY * 4 + y < height; ++y) {
        for (uint32_t x = 0; x < 4 && blockX * 4 + x < width; ++x) {
            const size_t pixel = (size_t(blockY * 4 + y) * width + blockX * 4 + x) * 4;
            std::memcpy(rgba + pixel, &texels[y * 4 + x], 4);
        }
    }
}

std::vector<uint8_t> DecompressBlocks(DdsFormat format, uint32_t width, uint32_t height, const uint8_t* blocks)
{
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    const uint32_t blocksWide = (width + 3) / 4;
    const uint32_t blocksHigh = (height + 3) / 4;
    Rgba texels[16];
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            DecodeBlock(format, blocks + (size_t(by) * blocksWide + bx) * BlockBytes(format), texels);
            StoreBlock(texels, bx, by, width, height, rgba.data());
        }
    }
    return rgba;
}

bool HeaderAcceptable(const DdsHeader& header)
{
    return header.size == 124 && header.pixelSize == 32 && !(header.caps2 & Caps2CubeOrVolume) &&
           header.width >= 1 && header.height >= 1 && header.width <= MaxImageDimension && header.height <= MaxImageDimension;
}

}  // namespace

uint32_t DdsLevelWidth(const DdsImage& image, uint32_t level)
{
    return std::max(1u, image.width >> level);
}

uint32_t DdsLevelHeight(const DdsImage& image, uint32_t level)
{
    return std::max(1u, image.height >> level);
}

bool ParseDds(const uint8_t* bytes, size_t size, DdsImage& image)
{
    if (!bytes || size < DataOffset || std::memcmp(bytes, "DDS ", 4) != 0)
        return false;
    const DdsHeader header = ReadHeader(bytes + HeaderOffset);
    if (!HeaderAcceptable(header) || !FormatOf(header, image.format))
        return false;
    image.width = header.width;
    image.height = header.height;
    image.levels.clear();
    // A chain cut short by the end of the file keeps the levels that are whole.
    uint64_t offset = DataOffset;
    for (uint32_t level = 0; level < LevelCount(header); ++level) {
        const uint32_t width = DdsLevelWidth(image, level);
        const uint32_t height = DdsLevelHeight(image, level);
        const uint64_t bytesStored = StoredLevelBytes(image.format, width, height);
        if (bytesStored > size - offset)
            break;
        const uint8_t* data = bytes + offset;
        if (image.format == DdsFormat::Rgba8)
            image.levels.push_back(UnpackMasked(data, uint64_t(width) * height, header));
        else
            image.levels.emplace_back(data, data + bytesStored);
        offset += bytesStored;
    }
    return !image.levels.empty();
}

std::vector<uint8_t> DdsLevelRgba(const DdsImage& image, uint32_t level)
{
    if (level >= image.levels.size())
        return {};
    if (image.format == DdsFormat::Rgba8)
        return image.levels[level];
    return DecompressBlocks(image.format, DdsLevelWidth(image, level), DdsLevelHeight(image, level),
                            image.levels[level].data());
}

bool DecodeDds(const uint8_t* bytes, size_t size, uint32_t& width, uint32_t& height, std::vector<uint8_t>& rgba)
{
    DdsImage image;
    if (!ParseDds(bytes, size, image))
        return false;
    width = image.width;
    height = image.height;
    rgba = DdsLevelRgba(image, 0);
    return true;
}
