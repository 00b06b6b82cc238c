// The readers of config.ini, score.dat and the image files on arbitrary bytes,
// with the properties the rest of the game relies on checked afterwards.
#include "FuzzInputs.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>
#include <SDL_image.h>

#include "game/Game.h"
#include "render/Render.h"
#include "shell/Shell.h"

namespace {

// fmemopen refuses an empty buffer; an empty temporary file stands in.
FILE* OpenText(std::vector<char>& text)
{
    return text.empty() ? std::tmpfile() : fmemopen(text.data(), text.size(), "r");
}

const char* CheckSettings(const DisplaySettings& display, const GameSettingsRecord& settings, uint32_t joysticks)
{
    if (display.fontName.size() > 255)
        return "the font face is longer than 255 characters";
    for (int32_t player = 0; player < 2; ++player) {
        const int32_t mode = settings.controllerMode[player];
        if (mode < -2 || mode >= static_cast<int32_t>(joysticks))
            return "a controller mode names a joystick that is not connected";
    }
    const GameSettingsRecord saved = GameSettings;
    GameSettings = settings;
    const int32_t iterations = StepIterations();
    GameSettings = saved;
    if (iterations < 1 || iterations > 100)
        return "the solver iterations are outside 1 to 100";
    return nullptr;
}

// The bytes as the whole content of the memory file behind fd.
bool Replace(int fd, const void* data, size_t size)
{
    return ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size);
}

// score.dat lives in memory: ReadHighScore opens it by its /proc path like any file.
struct MemoryFile {
    int fd;
    std::string path;
};

const MemoryFile& ScoreFile()
{
    static const int fd = memfd_create("score.dat", 0);
    static const MemoryFile file = {fd, "/proc/self/fd/" + std::to_string(fd)};
    return file;
}

// Keeps the copied pixels from being optimised away.
volatile uint8_t pixelSink = 0;

// SDL_image's surface as the texture table copies it: RGBA rows, top first.
const char* CopyRgbaRows(SDL_Surface* rgba)
{
    if (rgba->w <= 0 || rgba->h <= 0 || rgba->pitch < rgba->w * 4)
        return "a converted image has no rows of RGBA pixels";
    std::vector<uint8_t> pixels(size_t(rgba->w) * rgba->h * 4);
    for (int32_t row = 0; row < rgba->h; ++row)
        std::memcpy(pixels.data() + size_t(row) * rgba->w * 4,
                    static_cast<const uint8_t*>(rgba->pixels) + size_t(row) * rgba->pitch, size_t(rgba->w) * 4);
    pixelSink = pixels.back();
    return nullptr;
}

}  // namespace

const char* ReadConfigInput(const uint8_t* data, size_t size)
{
    for (uint32_t joysticks = 0; joysticks <= 2; ++joysticks) {
        std::vector<char> text(data, data + size);
        FILE* file = OpenText(text);
        if (!file)
            return "the text cannot be opened as a file";
        DisplaySettings display;
        GameSettingsRecord settings = DefaultGameSettings();
        ReadSettingsFile(file, joysticks, display, settings);
        std::fclose(file);
        if (const char* problem = CheckSettings(display, settings, joysticks))
            return problem;
    }
    return nullptr;
}

const char* ReadScoreInput(const uint8_t* data, size_t size)
{
    const MemoryFile& file = ScoreFile();
    if (file.fd < 0 || !Replace(file.fd, data, size))
        return "the memory file cannot be written";
    const uint32_t score = ReadHighScore(file.path.c_str());
    // What the game would write for that record has to read back as the same record.
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(score));
    if (!Replace(file.fd, text, static_cast<size_t>(length)))
        return "the memory file cannot be written";
    if (ReadHighScore(file.path.c_str()) != score)
        return "a record does not read back as itself";
    return nullptr;
}

const char* ReadDdsInput(const uint8_t* data, size_t size)
{
    DdsImage image;
    const bool parsed = ParseDds(data, size, image);
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> first;
    if (DecodeDds(data, size, width, height, first) != parsed)
        return "ParseDds and DecodeDds disagree";
    if (!parsed)
        return nullptr;
    if (image.width < 1 || image.height < 1 || image.width > 8192 || image.height > 8192 || image.levels.empty())
        return "an accepted image has no size or no level";
    for (uint32_t level = 0; level <= image.levels.size(); ++level) {
        const size_t expected = level < image.levels.size()
                                    ? size_t(DdsLevelWidth(image, level)) * DdsLevelHeight(image, level) * 4
                                    : 0;
        if (DdsLevelRgba(image, level).size() != expected)
            return "a level decodes to the wrong number of pixels";
    }
    if (width != image.width || height != image.height || first != DdsLevelRgba(image, 0))
        return "DecodeDds differs from the first level";
    return nullptr;
}

const char* ReadImageInput(const uint8_t* data, size_t size)
{
    // The texture table tells a DDS file by its magic; those never reach SDL_image.
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0)
        return nullptr;
    SDL_Surface* loaded = IMG_Load_RW(SDL_RWFromConstMem(data, static_cast<int>(size)), 1);
    if (!loaded)
        return nullptr;
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0);
    SDL_FreeSurface(loaded);
    if (!rgba)
        return nullptr;
    const char* problem = CopyRgbaRows(rgba);
    SDL_FreeSurface(rgba);
    return problem;
}
