#include "Synth.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

double NoteFrequency(double midiNote)
{
    return 440.0 * std::pow(2.0, (midiNote - 69.0) / 12.0);
}

double DecayEnvelope(double time, double attack, double decay)
{
    if (time < 0.0)
        return 0.0;
    if (time < attack)
        return time / attack;
    return std::exp(-(time - attack) / decay);
}

// Straight up to half scale, then a tanh knee that meets the line with the same slope.
float SoftLimit(float x)
{
    const float magnitude = std::fabs(x);
    if (magnitude <= 0.5f)
        return x;
    const float bent = 0.5f + 0.5f * std::tanh((magnitude - 0.5f) / 0.5f);
    return x < 0.0f ? -bent : bent;
}

float Noise::Next()
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<float>(state) / 2147483648.0f - 1.0f;
}

namespace {

// The correction that rounds off a step of the waveform at phase 0.
double PolyBlep(double phase, double increment)
{
    if (phase < increment) {
        const double t = phase / increment;
        return t + t - t * t - 1.0;
    }
    if (phase > 1.0 - increment) {
        const double t = (phase - 1.0) / increment;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

}  // namespace

float Saw::Next(double frequency)
{
    const double increment = frequency / SampleRate;
    const double value = 2.0 * phase - 1.0 - PolyBlep(phase, increment);
    phase += increment;
    phase -= std::floor(phase);
    return static_cast<float>(value);
}

void Filter::Set(double cutoff, double resonance)
{
    g = std::tan(Pi * std::min(cutoff, 0.45 * SampleRate) / SampleRate);
    k = 1.0 / resonance;
    a1 = 1.0 / (1.0 + g * (g + k));
}

Filter::Outputs Filter::Process(float x)
{
    const double v3 = x - state2;
    const double v1 = a1 * state1 + g * a1 * v3;
    const double v2 = state2 + g * v1;
    state1 = static_cast<float>(2.0 * v1 - state1);
    state2 = static_cast<float>(2.0 * v2 - state2);
    return {static_cast<float>(v2), static_cast<float>(v1), static_cast<float>(x - k * v1 - v2)};
}

void OnePole::Set(double cutoff)
{
    coefficient = static_cast<float>(1.0 - std::exp(-2.0 * Pi * cutoff / SampleRate));
}

float OnePole::Lowpass(float x)
{
    state += coefficient * (x - state);
    return state;
}

// ---------------------------------------------------------------------------
// Room effects

namespace {

struct DelayLine {
    std::vector<float> buffer;
    size_t position = 0;
    explicit DelayLine(size_t length) : buffer(length, 0.0f) {}
    float Read() const { return buffer[position]; }
    void Write(float x)
    {
        buffer[position] = x;
        position = (position + 1) % buffer.size();
    }
};

struct Comb {
    DelayLine line;
    float store = 0.0f;
    explicit Comb(size_t length) : line(length) {}
    float Process(float x, float feedback, float damping)
    {
        const float out = line.Read();
        store = out * (1.0f - damping) + store * damping;
        line.Write(x + store * feedback);
        return out;
    }
};

struct Allpass {
    DelayLine line;
    explicit Allpass(size_t length) : line(length) {}
    float Process(float x)
    {
        const float delayed = line.Read();
        line.Write(x + delayed * 0.5f);
        return delayed - x;
    }
};

// One side of the room: the right side's lines are a little longer, which decorrelates them.
struct RoomSide {
    std::vector<Comb> combs;
    std::vector<Allpass> allpasses;
    explicit RoomSide(size_t spread)
    {
        for (size_t length : {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617})
            combs.emplace_back(length + spread);
        for (size_t length : {556, 441, 341, 225})
            allpasses.emplace_back(length + spread);
    }
    float Process(float x, float feedback, float damping)
    {
        float sum = 0.0f;
        for (Comb& comb : combs)
            sum += comb.Process(x, feedback, damping);
        for (Allpass& allpass : allpasses)
            sum = allpass.Process(sum);
        return sum;
    }
};

constexpr int LoopPasses = 2;  // the first pass only fills the lines with the buffer's end

}  // namespace

void ApplyPingPongDelay(const Stereo& input, Stereo& output, size_t delayFrames, float feedback, float gain)
{
    DelayLine left(delayFrames);
    DelayLine right(delayFrames);
    OnePole tone;
    tone.Set(3500.0);
    for (int pass = 0; pass < LoopPasses; ++pass) {
        for (size_t i = 0; i < input.Frames(); ++i) {
            const float echoLeft = left.Read();
            const float echoRight = right.Read();
            const float in = 0.5f * (input.left[i] + input.right[i]);
            left.Write(tone.Lowpass(in + echoRight * feedback));
            right.Write(echoLeft * feedback);
            if (pass == LoopPasses - 1) {
                output.left[i] += gain * echoLeft;
                output.right[i] += gain * echoRight;
            }
        }
    }
}

void ApplyReverb(const Stereo& input, Stereo& output, float roomSize, float damping, float gain)
{
    RoomSide left(0);
    RoomSide right(23);
    const float feedback = 0.7f + 0.28f * roomSize;
    const float inputGain = 0.015f;
    for (int pass = 0; pass < LoopPasses; ++pass) {
        for (size_t i = 0; i < input.Frames(); ++i) {
            const float in = inputGain * (input.left[i] + input.right[i]);
            const float wetLeft = left.Process(in, feedback, damping);
            const float wetRight = right.Process(in, feedback, damping);
            if (pass == LoopPasses - 1) {
                output.left[i] += gain * wetLeft;
                output.right[i] += gain * wetRight;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Levels and files

namespace {

float PeakOf(const Samples& samples)
{
    float peak = 0.0f;
    for (float x : samples)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

void Scale(Samples& samples, float factor)
{
    for (float& x : samples)
        x *= factor;
}

int16_t ToPcm(float x)
{
    return static_cast<int16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
}

void PutLittleEndian(std::vector<uint8_t>& bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> WaveHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> header = {'R', 'I', 'F', 'F'};
    PutLittleEndian(header, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt "))
        header.push_back(static_cast<uint8_t>(c));
    PutLittleEndian(header, 16, 4);              // format chunk size
    PutLittleEndian(header, 1, 2);               // PCM
    PutLittleEndian(header, 1, 2);               // mono
    PutLittleEndian(header, SampleRate, 4);
    PutLittleEndian(header, SampleRate * 2, 4);  // bytes per second
    PutLittleEndian(header, 2, 2);               // bytes per frame
    PutLittleEndian(header, 16, 2);              // bits per sample
    for (char c : std::string("data"))
        header.push_back(static_cast<uint8_t>(c));
    PutLittleEndian(header, dataBytes, 4);
    return header;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

void Normalise(Samples& samples, float peak)
{
    const float loudest = PeakOf(samples);
    if (loudest > 0.0f)
        Scale(samples, peak / loudest);
}

void Normalise(Stereo& track, float peak)
{
    const float loudest = std::max(PeakOf(track.left), PeakOf(track.right));
    if (loudest > 0.0f) {
        Scale(track.left, peak / loudest);
        Scale(track.right, peak / loudest);
    }
}

bool WriteWave(const std::string& path, const Samples& mono)
{
    std::vector<uint8_t> bytes = WaveHeader(static_cast<uint32_t>(mono.size() * 2));
    for (float x : mono)
        PutLittleEndian(bytes, static_cast<uint16_t>(ToPcm(x)), 2);
    return WriteFile(path, bytes);
}

namespace {

lame_global_flags* OpenEncoder(int kilobitsPerSecond)
{
    lame_global_flags* encoder = lame_init();
    if (!encoder)
        return nullptr;
    lame_set_in_samplerate(encoder, SampleRate);
    lame_set_out_samplerate(encoder, SampleRate);
    lame_set_num_channels(encoder, 2);
    lame_set_mode(encoder, JOINT_STEREO);
    lame_set_brate(encoder, kilobitsPerSecond);
    lame_set_quality(encoder, 7);
    // The tag frame tells the decoder the encoder's delay and padding, so the
    // track decodes to exactly its own length and loops without a gap of silence.
    lame_set_bWriteVbrTag(encoder, 1);
    if (lame_init_params(encoder) < 0) {
        lame_close(encoder);
        return nullptr;
    }
    return encoder;
}

bool Encode(lame_global_flags* encoder, const Stereo& track, std::vector<uint8_t>& mp3)
{
    constexpr size_t Block = 8192;
    std::vector<unsigned char> buffer(Block * 5 / 4 + 7200);
    for (size_t start = 0; start < track.Frames(); start += Block) {
        const int frames = static_cast<int>(std::min(Block, track.Frames() - start));
        const int bytes = lame_encode_buffer_ieee_float(encoder, &track.left[start], &track.right[start], frames,
                                                        buffer.data(), static_cast<int>(buffer.size()));
        if (bytes < 0)
            return false;
        mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + bytes);
    }
    const int bytes = lame_encode_flush(encoder, buffer.data(), static_cast<int>(buffer.size()));
    if (bytes < 0)
        return false;
    mp3.insert(mp3.end(), buffer.begin(), buffer.begin() + bytes);
    return true;
}

// The encoder reserves the first frame for the tag and fills it in only at the end.
void PutTagFrame(lame_global_flags* encoder, std::vector<uint8_t>& mp3)
{
    std::array<unsigned char, 2880> tag{};
    const size_t size = lame_get_lametag_frame(encoder, tag.data(), tag.size());
    if (size > 0 && size <= tag.size() && size <= mp3.size())
        std::copy(tag.begin(), tag.begin() + size, mp3.begin());
}

}  // namespace

bool WriteMp3(const std::string& path, const Stereo& track, int kilobitsPerSecond)
{
    lame_global_flags* encoder = OpenEncoder(kilobitsPerSecond);
    if (!encoder)
        return false;
    std::vector<uint8_t> mp3;
    const bool encoded = Encode(encoder, track, mp3);
    if (encoded)
        PutTagFrame(encoder, mp3);
    lame_close(encoder);
    return encoded && WriteFile(path, mp3);
}
