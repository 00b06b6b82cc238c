// The sound table against the real mixer. SDL's disk audio driver writes the mixed
// output into a file, which the tests read back once the mixer is closed. The test
// sounds are steady levels, so every sound can be found in the mix by its level.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "shell/Shell.h"
#include "sound/Sound.h"

namespace {

namespace fs = std::filesystem;

constexpr int Rate = 44100;
constexpr size_t EffectFrames = Rate / 10;  // every test effect lasts 0.1 s
constexpr size_t HalfFrames = 6615;         // each half of the test track, 0.15 s

// ---------------------------------------------------------------------------
// Files of our own

void PutLittleEndian(std::string& bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
}

// A stereo 16-bit wave holding the given levels one after the other.
void WriteLevels(const fs::path& path, const std::vector<std::pair<int16_t, size_t>>& segments)
{
    std::string samples;
    for (const auto& [level, frames] : segments) {
        for (size_t i = 0; i < 2 * frames; ++i)
            PutLittleEndian(samples, static_cast<uint16_t>(level), 2);
    }
    std::string bytes = "RIFF";
    PutLittleEndian(bytes, 36 + static_cast<uint32_t>(samples.size()), 4);
    bytes += "WAVEfmt ";
    for (auto [value, size] : {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {44100u, 4}, {176400u, 4}, {4u, 2}, {16u, 2}})
        PutLittleEndian(bytes, value, size);
    bytes += "data";
    PutLittleEndian(bytes, static_cast<uint32_t>(samples.size()), 4);
    std::ofstream(path, std::ios::binary) << bytes << samples;
}

// A one-track MIDI file: a wood block on the beat, then silence until the end of the
// bar at 480 ticks (half a second at the default tempo).
void WriteTinyMidi(const fs::path& path)
{
    const std::string track = {0x00, char(0x99), 76, 110,  // hi wood block, percussion channel
                               0x3C, char(0x89), 76, 0,    // off after 60 ticks
                               char(0x83), 0x24, char(0xFF), 0x2F, 0x00};  // 420 ticks later: end of track
    std::string bytes = std::string("MThd") + std::string("\0\0\0\6\0\0\0\1\1\xE0", 10) + "MTrk";
    bytes += std::string("\0\0\0", 3) + static_cast<char>(track.size()) + track;
    std::ofstream(path, std::ios::binary) << bytes;
}

struct TestFiles {
    fs::path directory = fs::temp_directory_path() / ("mirelune-sound-" + std::to_string(getpid()));
    TestFiles()
    {
        fs::create_directories(directory);
        WriteLevels(directory / "high.wav", {{3000, EffectFrames}});
        WriteLevels(directory / "low.wav", {{2000, EffectFrames}});
        WriteLevels(directory / "high.mid.wav", {{3000, EffectFrames}});
        WriteLevels(directory / "loop track.snd", {{3000, HalfFrames}, {-3000, HalfFrames}});
        WriteLevels(directory / "hum.snd", {{1000, 2 * Rate}});
        WriteTinyMidi(directory / "tiny.mid");
    }
    ~TestFiles() { fs::remove_all(directory); }
    std::string operator()(const std::string& name) const { return (directory / name).string(); }
};

const TestFiles& Files()
{
    static const TestFiles files;
    return files;
}

// ---------------------------------------------------------------------------
// Reading the mix

// A stretch of output frames at one level; test sounds mix to exact sums (within
// the rounding of a format conversion).
struct Stretch {
    int level;
    size_t frames;
};

std::vector<Stretch> Stretches(const std::vector<int16_t>& left)
{
    std::vector<Stretch> runs;
    for (int16_t sample : left) {
        if (!runs.empty() && runs.back().level == sample)
            ++runs.back().frames;
        else
            runs.push_back({sample, 1});
    }
    return runs;
}

// The runs that are not silence and not a stray frame at a boundary.
std::vector<Stretch> Sounding(const std::vector<int16_t>& left)
{
    std::vector<Stretch> sounding;
    for (const Stretch& run : Stretches(left)) {
        if (run.level != 0 && run.frames > 100)
            sounding.push_back(run);
    }
    return sounding;
}

bool Near(int level, int expected)
{
    return std::abs(level - expected) <= 4;
}

size_t LongestRunAt(const std::vector<int16_t>& left, int level)
{
    size_t longest = 0;
    for (const Stretch& run : Stretches(left)) {
        if (Near(run.level, level))
            longest = std::max(longest, run.frames);
    }
    return longest;
}

bool Silent(const std::vector<int16_t>& left)
{
    for (int16_t sample : left) {
        if (sample != 0)
            return false;
    }
    return true;
}

void WaitWhile(bool (*busy)(), uint32_t timeoutMs)
{
    const uint32_t end = SDL_GetTicks() + timeoutMs;
    while (busy() && SDL_GetTicks() < end)
        SDL_Delay(10);
}

bool EffectsPlaying()
{
    return Mix_Playing(-1) > 0;
}

// The main loop's side of the music event: true once message 0x8001 has come.
bool WaitForMusicEvent(uint32_t timeoutMs)
{
    const uint32_t end = SDL_GetTicks() + timeoutMs;
    SDL_Event event;
    while (SDL_GetTicks() < end) {
        if (SDL_WaitEventTimeout(&event, 20) && event.type == SDL_USEREVENT && event.user.code == WM_MUSICEVENT)
            return true;
    }
    return false;
}

// Each test opens the mixer on the disk driver and closes it to read what was heard.
class SoundTest : public ::testing::Test {
protected:
    fs::path output = Files().directory / ("mix-" + std::to_string(counter++) + ".raw");

    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
        ASSERT_EQ(InitSound(), 0);
        SDL_FlushEvent(SDL_USEREVENT);
    }
    void TearDown() override { ShutdownSound(); }

    int32_t Load(const std::string& name) { return LoadSound(Files()(name).c_str()); }

    // Waits for the device to write this much more sound. The device's time, not the
    // wall clock's: on a busy machine the mixer falls behind.
    void WaitForMix(double seconds) const
    {
        const double until = MixedSeconds() + seconds;
        const uint32_t end = SDL_GetTicks() + 10000;
        while (MixedSeconds() < until && SDL_GetTicks() < end)
            SDL_Delay(5);
    }
    double MixedSeconds() const
    {
        std::error_code error;
        return static_cast<double>(fs::file_size(output, error)) / (4.0 * Rate);
    }

    // The left channel of everything mixed so far; closes the mixer.
    std::vector<int16_t> Heard()
    {
        WaitForMix(0.05);  // the device's last buffers
        ShutdownSound();
        std::ifstream file(output, std::ios::binary);
        std::vector<int16_t> left;
        int16_t frame[2];
        while (file.read(reinterpret_cast<char*>(frame), sizeof frame))
            left.push_back(frame[0]);
        return left;
    }

    static inline int counter = 0;
};

// ---------------------------------------------------------------------------
// Loading

TEST_F(SoundTest, LoadingAFileAgainGivesItsSlotWithOneMoreReference)
{
    const int32_t high = Load("high.wav");
    const int32_t low = Load("low.wav");
    ASSERT_EQ(high, 0);
    ASSERT_EQ(low, 1);
    EXPECT_EQ(Load("high.wav"), high);
    EXPECT_EQ(SoundTable[high].refCount, 2);
    EXPECT_EQ(SoundTable[low].refCount, 1);
    EXPECT_EQ(SoundTable.size(), 2u);
}

TEST_F(SoundTest, ANewFileTakesTheFirstFreeEntry)
{
    Load("high.wav");
    Load("low.wav");
    SoundTable[0].refCount = 0;
    EXPECT_EQ(Load("hum.snd"), 0);
    EXPECT_EQ(SoundTable[0].kind, SoundKindStream);
    EXPECT_EQ(SoundTable.size(), 2u);
}

// The name decides the kind, by case-sensitive substrings, ".mid" before ".wav".
TEST_F(SoundTest, TheNameChoosesTheKind)
{
    struct Case {
        const char* name;
        int32_t kind;  // -1: the load fails
    };
    const Case cases[] = {
        {"high.wav", SoundKindWave},
        {"high.mid.wav", SoundKindMidi},     // a wave under a MIDI name still decodes
        {"SONG.MID", SoundKindStream},       // capitals are not MIDI; not opened until played
        {"Track.WAV", SoundKindStream},
        {"missing.mp3", SoundKindStream},
        {"missing.wav", -1},
        {"missing.mid", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t slot = Load(c.name);
        if (c.kind == -1) {
            EXPECT_EQ(slot, -1);
            continue;
        }
        ASSERT_GE(slot, 0);
        EXPECT_EQ(SoundTable[slot].kind, c.kind);
        EXPECT_EQ(SoundTable[slot].sample != nullptr, c.kind != SoundKindStream);
    }
}

TEST(SoundWithoutDevice, EveryLoadFailsAndNothingBreaks)
{
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    EXPECT_LT(InitSound(), 0);
    EXPECT_EQ(LoadSound(Files()("high.wav").c_str()), -1);
    EXPECT_EQ(LoadSound(Files()("hum.snd").c_str()), -1);
    PlaySound(false, 0);
    PlaySound(true, 0);
    PlaySound(true, -1);
    OnMusicEvent();
    EXPECT_EQ(CurrentMusic, -1);
    ShutdownSound();
    EXPECT_TRUE(SoundTable.empty());
}

// ---------------------------------------------------------------------------
// Effects

TEST_F(SoundTest, AnEffectSoundsTwiceInARow)
{
    PlaySound(false, Load("high.wav"));
    WaitWhile(EffectsPlaying, 2000);
    const std::vector<Stretch> sounding = Sounding(Heard());
    ASSERT_EQ(sounding.size(), 1u);
    EXPECT_TRUE(Near(sounding[0].level, 3000));
    EXPECT_EQ(sounding[0].frames, 2 * EffectFrames);
}

// What sounds together mixes to the sum of the levels.
struct OverlapCase {
    const char* name;
    const char* music;  // nullptr: no track
    const char* first;
    const char* second;  // nullptr: one effect only
    int sum;
};

void PrintTo(const OverlapCase& c, std::ostream* out)
{
    *out << c.name;
}

class SoundOverlapTest : public SoundTest, public ::testing::WithParamInterface<OverlapCase> {};

TEST_P(SoundOverlapTest, SoundsMixOverEachOther)
{
    const OverlapCase& c = GetParam();
    if (c.music) {
        PlaySound(true, Load(c.music));
        WaitForMix(0.1);
    }
    PlaySound(false, Load(c.first));
    if (c.second)
        PlaySound(false, Load(c.second));
    WaitWhile(EffectsPlaying, 2000);
    // Started within the same buffer or one apart: the sum lasts at least one pass.
    EXPECT_GE(LongestRunAt(Heard(), c.sum), EffectFrames);
}

INSTANTIATE_TEST_SUITE_P(Mix, SoundOverlapTest,
                         ::testing::Values(OverlapCase{"TwoEffects", nullptr, "high.wav", "low.wav", 5000},
                                           OverlapCase{"AnEffectOverItself", nullptr, "high.wav", "high.wav", 6000},
                                           OverlapCase{"AnEffectOverTheTrack", "hum.snd", "high.wav", nullptr, 4000}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Silence

struct SilentCase {
    const char* name;
    const char* file;
    bool isMusic;
    int32_t slotOffset;  // added to the loaded slot: past the end of the table
};

void PrintTo(const SilentCase& c, std::ostream* out)
{
    *out << c.name;
}

class SoundSilenceTest : public SoundTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SoundSilenceTest, NothingIsHeard)
{
    const SilentCase& c = GetParam();
    const int32_t slot = Load(c.file) + c.slotOffset;
    PlaySound(c.isMusic, slot);
    OnMusicEvent();
    WaitForMix(0.2);
    EXPECT_EQ(CurrentMusic, c.isMusic && c.slotOffset == 0 ? slot : -1);
    EXPECT_TRUE(Silent(Heard()));
}

INSTANTIATE_TEST_SUITE_P(Play, SoundSilenceTest,
                         ::testing::Values(SilentCase{"AStreamedEntryAsAnEffect", "hum.snd", false, 0},
                                           SilentCase{"AMissingStreamedFileAsMusic", "missing.mp3", true, 0},
                                           SilentCase{"AMissingWaveAsAnEffect", "missing.wav", false, 0},
                                           SilentCase{"ASlotPastTheTableAsAnEffect", "high.wav", false, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The background track

TEST_F(SoundTest, TheStreamedTrackStartsAgainFromItsBeginningAfterItsEnd)
{
    const int32_t track = Load("loop track.snd");
    PlaySound(true, track);
    ASSERT_TRUE(WaitForMusicEvent(3000));
    OnMusicEvent();
    EXPECT_EQ(CurrentMusic, track);
    ASSERT_TRUE(WaitForMusicEvent(3000));
    const std::vector<Stretch> sounding = Sounding(Heard());
    ASSERT_EQ(sounding.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(Near(sounding[i].level, i % 2 == 0 ? 3000 : -3000)) << i;
        EXPECT_EQ(sounding[i].frames, HalfFrames) << i;
    }
}

TEST_F(SoundTest, PlayingTheTrackAgainLeavesItPlaying)
{
    const int32_t track = Load("loop track.snd");
    PlaySound(true, track);
    WaitForMix(0.2);
    PlaySound(true, track);
    ASSERT_TRUE(WaitForMusicEvent(3000));
    const std::vector<Stretch> sounding = Sounding(Heard());
    ASSERT_EQ(sounding.size(), 2u);
    EXPECT_EQ(sounding[0].frames + sounding[1].frames, 2 * HalfFrames);
}

// The old track's stop is reported like an end; the new track must not start over.
TEST_F(SoundTest, AnotherTrackTakesOverAndPlaysThroughOnce)
{
    PlaySound(true, Load("hum.snd"));
    WaitForMix(0.1);
    const int32_t track = Load("loop track.snd");
    PlaySound(true, track);
    EXPECT_EQ(CurrentMusic, track);
    WaitForMix(0.1);
    ASSERT_TRUE(WaitForMusicEvent(3000));  // the stop of the old track
    OnMusicEvent();
    ASSERT_TRUE(WaitForMusicEvent(3000));  // the end of the new one
    const std::vector<Stretch> sounding = Sounding(Heard());
    ASSERT_EQ(sounding.size(), 3u);
    EXPECT_TRUE(Near(sounding[0].level, 1000));
    EXPECT_EQ(sounding[1].frames, HalfFrames);
    EXPECT_EQ(sounding[2].frames, HalfFrames);
}

TEST_F(SoundTest, NoTrackAsMusicStopsTheTrackThatPlays)
{
    const int32_t track = Load("hum.snd");
    PlaySound(true, track);
    WaitForMix(0.1);
    PlaySound(true, -1);
    EXPECT_EQ(CurrentMusic, -1);
    OnMusicEvent();  // the stop reports an end as well; it must not start the track again
    WaitForMix(0.1);
    EXPECT_FALSE(Mix_PlayingMusic());
    const std::vector<Stretch> sounding = Sounding(Heard());
    ASSERT_EQ(sounding.size(), 1u);
    EXPECT_LT(sounding[0].frames, static_cast<size_t>(Rate));  // cut well before its 2 s
}

TEST_F(SoundTest, NoTrackAsMusicLeavesEffectsAloneWhenNoTrackPlays)
{
    PlaySound(false, Load("high.wav"));
    PlaySound(true, -1);
    EXPECT_EQ(CurrentMusic, -1);
    WaitWhile(EffectsPlaying, 2000);
    EXPECT_GE(LongestRunAt(Heard(), 3000), EffectFrames);
}

TEST_F(SoundTest, AWaveAsMusicLoopsUntilAnotherTrackTakesOver)
{
    const int32_t wave = Load("high.wav");
    PlaySound(true, wave);
    WaitForMix(0.4);
    PlaySound(true, Load("hum.snd"));
    EXPECT_FALSE(Mix_Playing(0));
    const std::vector<int16_t> heard = Heard();
    EXPECT_GT(LongestRunAt(heard, 3000), 3 * EffectFrames);
    EXPECT_GT(LongestRunAt(heard, 1000), 0u);
}

// A MIDI file is rendered once at loading; as an effect it is heard over the music, as
// the track it loops at the end of its bar.
TEST_F(SoundTest, AMidiFileLoopsAsTheTrack)
{
    const int32_t midi = Load("tiny.mid");
    ASSERT_GE(midi, 0);
    EXPECT_EQ(SoundTable[midi].kind, SoundKindMidi);
    PlaySound(true, midi);
    WaitForMix(1.7);
    EXPECT_EQ(CurrentMusic, midi);
    const std::vector<int16_t> heard = Heard();
    // Count the knocks: loud 10 ms windows, each after the room had gone quiet again.
    std::vector<double> energy;
    for (size_t start = 0; start + 441 <= heard.size(); start += 441) {
        double sum = 0.0;
        for (size_t i = start; i < start + 441; ++i)
            sum += std::abs(heard[i]);
        energy.push_back(sum / 441);
    }
    const double loudest = *std::max_element(energy.begin(), energy.end());
    int knocks = 0;
    bool quiet = true;
    for (double e : energy) {
        if (quiet && e > 0.3 * loudest) {
            ++knocks;
            quiet = false;
        } else if (e < 0.1 * loudest) {
            quiet = true;
        }
    }
    EXPECT_GE(knocks, 3);
}

TEST_F(SoundTest, AMidiEffectSoundsOverTheTrack)
{
    const int32_t midi = Load("tiny.mid");
    PlaySound(true, Load("hum.snd"));
    WaitForMix(0.05);
    PlaySound(false, midi);
    WaitForMix(0.3);
    int above = 0;
    for (int16_t sample : Heard())
        above += std::abs(sample - 1000) > 200;
    EXPECT_GT(above, 100);
}

// ---------------------------------------------------------------------------
// The generated sounds

struct GeneratedCase {
    const char* file;
    double shortest;  // seconds
    double longest;
};

void PrintTo(const GeneratedCase& c, std::ostream* out)
{
    *out << c.file;
}

class GeneratedSoundTest : public SoundTest, public ::testing::WithParamInterface<GeneratedCase> {};

TEST_P(GeneratedSoundTest, DecodesToItsLengthAndIsHeard)
{
    const GeneratedCase& c = GetParam();
    const std::string path = std::string(MIRELUNE_RUN_DIR) + "/" + c.file;
    Mix_Chunk* chunk = Mix_LoadWAV(path.c_str());
    ASSERT_NE(chunk, nullptr) << Mix_GetError();
    const auto* samples = reinterpret_cast<const int16_t*>(chunk->abuf);
    const size_t count = chunk->alen / 2;
    const double seconds = static_cast<double>(count) / (2.0 * Rate);
    double power = 0.0;
    int16_t edge = 0;  // loudest of the first and the last two frames
    for (size_t i = 0; i < count; ++i) {
        power += static_cast<double>(samples[i]) * samples[i];
        if (i < 4 || i + 4 >= count)
            edge = std::max<int16_t>(edge, static_cast<int16_t>(std::abs(samples[i])));
    }
    Mix_FreeChunk(chunk);
    EXPECT_GE(seconds, c.shortest);
    EXPECT_LE(seconds, c.longest);
    EXPECT_GT(std::sqrt(power / count), 0.02 * 32768) << "too quiet";
    EXPECT_LT(edge, 0.03 * 32768) << "starts or ends on a step, which clicks when it repeats";
}

INSTANTIATE_TEST_SUITE_P(RunDirectory, GeneratedSoundTest,
                         ::testing::Values(GeneratedCase{"selSnd.wav", 0.02, 0.15},
                                           GeneratedCase{"entSnd.wav", 0.2, 0.8},
                                           GeneratedCase{"bomb.wav", 0.2, 0.9},
                                           GeneratedCase{"Inorganic substance.mp3", 60.0, 120.0}),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.file; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// The wave files are what the game's table expects of them: 16-bit PCM at 44.1 kHz.
TEST(GeneratedSoundFormat, WavesAreSixteenBitPcmAt44100)
{
    for (const char* file : {"selSnd.wav", "entSnd.wav", "bomb.wav"}) {
        SCOPED_TRACE(file);
        std::ifstream in(std::string(MIRELUNE_RUN_DIR) + "/" + file, std::ios::binary);
        std::string header(44, '\0');
        ASSERT_TRUE(in.read(header.data(), 44));
        const auto field = [&](size_t offset, int size) {
            uint32_t value = 0;
            for (int i = size - 1; i >= 0; --i)
                value = value << 8 | static_cast<uint8_t>(header[offset + i]);
            return value;
        };
        EXPECT_EQ(header.substr(0, 4), "RIFF");
        EXPECT_EQ(field(20, 2), 1u);       // PCM
        EXPECT_EQ(field(24, 4), 44100u);   // sample rate
        EXPECT_EQ(field(34, 2), 16u);      // bits per sample
    }
}

}  // namespace
