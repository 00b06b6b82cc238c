// The game's sounds: three short effects and the background track, all synthesised.
// Every effect plays twice in a row in the game, so each one starts from silence and
// dies away to silence, and the pair reads as one gesture.
#include <cmath>
#include <functional>

#include "Assets.h"
#include "Music.h"

namespace {

Samples Synthesise(double seconds, const std::function<double(double time)>& voice)
{
    Samples samples(static_cast<size_t>(seconds * SampleRate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(voice(static_cast<double>(i) / SampleRate));
    return samples;
}

void FadeOut(Samples& samples, double seconds)
{
    const size_t frames = static_cast<size_t>(seconds * SampleRate);
    for (size_t i = 0; i < frames && i < samples.size(); ++i)
        samples[samples.size() - 1 - i] *= static_cast<float>(0.5 - 0.5 * std::cos(Pi * i / frames));
}

// A light wooden tick: two high partials that vanish within a few milliseconds.
Samples CursorTick()
{
    Noise noise;
    OnePole edge;
    edge.Set(4000.0);
    Samples tick = Synthesise(0.05, [&](double t) {
        const double tone = std::sin(2.0 * Pi * 2600.0 * t) * DecayEnvelope(t, 0.0005, 0.007) +
                            0.5 * std::sin(2.0 * Pi * 3900.0 * t) * DecayEnvelope(t, 0.0005, 0.004) +
                            0.3 * std::sin(2.0 * Pi * 1300.0 * t) * DecayEnvelope(t, 0.0005, 0.012);
        return tone + 0.3 * edge.Highpass(noise.Next()) * DecayEnvelope(t, 0.0003, 0.0015);
    });
    Normalise(tick, 0.45f);
    FadeOut(tick, 0.005);
    return tick;
}

// A bell: partials in the ratios of a struck bar, the higher ones dying sooner.
double Bell(double t, double frequency)
{
    constexpr double Ratios[] = {1.0, 2.0, 3.0, 4.16, 5.43};
    constexpr double Levels[] = {1.0, 0.45, 0.25, 0.12, 0.08};
    double sum = 0.0;
    for (int k = 0; k < 5; ++k)
        sum += Levels[k] * std::sin(2.0 * Pi * frequency * Ratios[k] * t) * DecayEnvelope(t, 0.002, 0.2 / (1.0 + 0.7 * k));
    return sum;
}

// A rising fifth on two bells, E6 and B6.
Samples ConfirmChime()
{
    Samples chime = Synthesise(0.45, [](double t) { return Bell(t, 1318.5) + 0.8 * Bell(t - 0.07, 1975.5); });
    Normalise(chime, 0.5f);
    FadeOut(chime, 0.03);
    return chime;
}

// A thump that drops in pitch under a burst of noise whose lowpass closes fast. Kept
// dark and well below half scale, so that a handful at once still sums to a round boom.
Samples BombBurst()
{
    Noise noise;
    Filter filter;
    double phase = 0.0;
    Samples bomb = Synthesise(0.55, [&](double t) {
        phase += (55.0 + 100.0 * std::exp(-t / 0.04)) / SampleRate;
        const double thump = std::sin(2.0 * Pi * phase) * DecayEnvelope(t, 0.002, 0.12);
        filter.Set(300.0 + 4500.0 * std::exp(-t / 0.05), 0.7);
        const double burst = filter.Process(noise.Next()).low * DecayEnvelope(t, 0.001, 0.09);
        return SoftLimit(static_cast<float>(1.4 * (thump + 0.8 * burst)));
    });
    Normalise(bomb, 0.42f);
    FadeOut(bomb, 0.04);
    return bomb;
}

}  // namespace

bool WriteSounds(const std::string& directory)
{
    bool ok = WriteWave(directory + "/selSnd.wav", CursorTick());
    ok = WriteWave(directory + "/entSnd.wav", ConfirmChime()) && ok;
    ok = WriteWave(directory + "/bomb.wav", BombBurst()) && ok;
    return WriteMp3(directory + "/Inorganic substance.mp3", RenderBackgroundTrack(), 160) && ok;
}
