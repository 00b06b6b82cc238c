// The asset generator's small synthesiser: oscillators, envelopes, filters, room
// effects, and the writers of 16-bit wave files and MP3 files. Everything is
// deterministic, so every run writes the same sounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int SampleRate = 44100;
constexpr double Pi = 3.14159265358979323846;

using Samples = std::vector<float>;  // mono, full scale at ±1

// Two channels of equal length.
struct Stereo {
    Samples left;
    Samples right;
    explicit Stereo(size_t frames) : left(frames), right(frames) {}
    size_t Frames() const { return left.size(); }
};

double NoteFrequency(double midiNote);  // 69 is A at 440 Hz
double DecayEnvelope(double time, double attack, double decay);  // 0 → 1 linear, then e^(-t/decay)
float SoftLimit(float x);  // unity near zero, bends smoothly towards ±1

// White noise from a fixed seed.
struct Noise {
    uint32_t state = 0x2545F491u;
    float Next();  // -1 to 1
};

// A sawtooth with its steps rounded off (polyBLEP), so high notes do not alias.
struct Saw {
    double phase = 0.0;  // 0 to 1
    float Next(double frequency);
};

// Topology-preserving state-variable filter: low, band and high pass from one state.
struct Filter {
    float state1 = 0.0f;
    float state2 = 0.0f;
    double g = 0.0;
    double k = 2.0;
    double a1 = 1.0;
    struct Outputs {
        float low;
        float band;
        float high;
    };
    void Set(double cutoff, double resonance);  // resonance 0.5 (none) to ~10
    Outputs Process(float x);
};

// One-pole smoother, for gentle tone control.
struct OnePole {
    float state = 0.0f;
    float coefficient = 1.0f;
    void Set(double cutoff);
    float Lowpass(float x);
    float Highpass(float x) { return x - Lowpass(x); }
};

// A stereo feedback delay whose echoes alternate between the sides.
void ApplyPingPongDelay(const Stereo& input, Stereo& output, size_t delayFrames, float feedback, float gain);
// A small plate-like room (parallel combs into allpasses, per side).
void ApplyReverb(const Stereo& input, Stereo& output, float roomSize, float damping, float gain);
// Both effects above run over a looped buffer twice, so that the echoes of its end
// sound at its start and the loop joins without a seam.

// Scales the buffer so that its loudest sample sits at peak.
void Normalise(Samples& samples, float peak);
void Normalise(Stereo& track, float peak);

bool WriteWave(const std::string& path, const Samples& mono);
bool WriteMp3(const std::string& path, const Stereo& track, int kilobitsPerSecond);
