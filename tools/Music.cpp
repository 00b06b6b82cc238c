// A calm but driving loop: a pad over a four-bar progression, a plucked sixteenth
// arpeggio, a pumping bass, a bell-like lead, and kick, snare and hats. The piece
// is rendered on a circle: every note that rings past the last bar sounds at the
// start, so the end joins the beginning.
#include "Music.h"

#include <array>
#include <cmath>

namespace {

constexpr double BeatSeconds = 0.5;  // 120 beats a minute
constexpr int BeatsPerBar = 4;
constexpr int Bars = 32;
constexpr size_t LoopFrames = static_cast<size_t>(Bars * BeatsPerBar * BeatSeconds * SampleRate);

size_t FrameOfBeat(double beat)
{
    return static_cast<size_t>(std::lround(beat * BeatSeconds * SampleRate));
}

// Adds one frame to a bus at a position on the circle.
void Add(Stereo& bus, size_t frame, float left, float right)
{
    frame %= LoopFrames;
    bus.left[frame] += left;
    bus.right[frame] += right;
}

// Equal-power pan, -1 left to +1 right.
std::array<float, 2> Pan(double position)
{
    const double angle = (position + 1.0) * Pi / 4.0;
    return {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
}

// ---------------------------------------------------------------------------
// The score

struct Chord {
    int bass;                  // root, in the second octave
    std::array<int, 4> voicing;  // the pad's four notes
};

constexpr Chord Am7{45, {57, 60, 64, 67}};
constexpr Chord Fmaj7{41, {53, 57, 60, 64}};
constexpr Chord Cmaj7{36, {55, 59, 64, 67}};
constexpr Chord G6{43, {55, 59, 62, 64}};
constexpr Chord Dm9{38, {53, 57, 62, 64}};
constexpr Chord E7{40, {56, 59, 62, 64}};

constexpr std::array<Chord, 4> HomeProgression{Am7, Fmaj7, Cmaj7, G6};
constexpr std::array<Chord, 4> AwayProgression{Dm9, Am7, Fmaj7, E7};

struct Note {
    double beat;   // from the start of the phrase
    double beats;  // length
    int pitch;
};

// Eight bars over the home progression, entering at bar 12.
const std::vector<Note> FirstTheme = {
    {0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 0.5, 74}, {3.5, 0.5, 76},
    {4, 1, 72}, {5, 1, 69}, {6, 0.5, 72}, {6.5, 1.5, 76},
    {8, 1.5, 79}, {9.5, 0.5, 76}, {10, 1, 74}, {11, 1, 72},
    {12, 1.5, 71}, {13.5, 0.5, 74}, {14, 2, 67},
    {16, 1, 76}, {17, 1, 81}, {18, 0.5, 79}, {18.5, 0.5, 76}, {19, 1, 74},
    {20, 1.5, 72}, {21.5, 0.5, 74}, {22, 1, 76}, {23, 1, 77},
    {24, 1, 76}, {25, 1, 74}, {26, 1, 72}, {27, 0.5, 71}, {27.5, 0.5, 72},
    {28, 2, 74}, {30, 1.5, 71},
};

// Eight bars over the away progression, entering at bar 20.
const std::vector<Note> SecondTheme = {
    {0, 1, 77}, {1, 0.5, 76}, {1.5, 0.5, 74}, {2, 2, 81},
    {4, 1, 79}, {5, 1, 76}, {6, 1, 72}, {7, 1, 76},
    {8, 1.5, 77}, {9.5, 0.5, 76}, {10, 1, 72}, {11, 1, 69},
    {12, 2, 71}, {14, 1, 68}, {15, 1, 71},
    {16, 1, 74}, {17, 1, 77}, {18, 1, 81}, {19, 1, 84},
    {20, 1.5, 83}, {21.5, 0.5, 81}, {22, 2, 76},
    {24, 1, 77}, {25, 1, 76}, {26, 1, 74}, {27, 1, 72},
    {28, 2, 71}, {30, 2, 68},
};

// Which parts play in a bar. The first bars and the last ones are the quiet ends of
// the loop that meet each other; the arpeggio opens up and closes down around them.
struct BarPlan {
    Chord chord;
    bool bass;
    bool drums;      // kick and snare
    int hats;        // 0 none, 1 eighths, 2 sixteenths
    double arpOpen;  // brightness of the arpeggio, 0 to 1
};

BarPlan PlanOfBar(int bar)
{
    const bool away = bar >= 20 && bar < 28;
    BarPlan plan{away ? AwayProgression[bar % 4] : HomeProgression[bar % 4], bar >= 2, bar >= 4 && bar < 30,
                 bar < 2 ? 0 : (away ? 2 : 1), 1.0};
    if (bar < 4)
        plan.arpOpen = 0.45 + 0.15 * bar;
    else if (bar >= 28)
        plan.arpOpen = 1.0 - 0.15 * (bar - 27);
    return plan;
}

// ---------------------------------------------------------------------------
// Instruments. Each adds one note to its bus.

// Three detuned saws spread across the sides through a slowly breathing lowpass.
void AddPadNote(Stereo& bus, double startBeat, double beats, int pitch, Noise& noise)
{
    constexpr double Attack = 0.6;
    constexpr double Release = 0.6;
    const double held = beats * BeatSeconds;
    const size_t start = FrameOfBeat(startBeat);
    const size_t frames = static_cast<size_t>((held + Release * 5.0) * SampleRate);
    std::array<Saw, 3> saws;
    for (Saw& saw : saws)
        saw.phase = 0.5 * (noise.Next() + 1.0);
    const double base = NoteFrequency(pitch);
    const std::array<double, 3> detune{std::pow(2.0, -7.0 / 1200.0), 1.0, std::pow(2.0, 7.0 / 1200.0)};
    Filter left;
    Filter right;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        if (i % 32 == 0) {
            const double song = static_cast<double>(start + i) / LoopFrames;
            const double cutoff = 1100.0 + 600.0 * std::sin(2.0 * Pi * 4.0 * song);
            left.Set(cutoff, 0.8);
            right.Set(cutoff, 0.8);
        }
        const double rise = std::min(1.0, t / Attack);
        const double fall = t < held ? 1.0 : std::exp(-(t - held) / Release);
        const float level = static_cast<float>(0.06 * rise * rise * fall);
        const float a = saws[0].Next(base * detune[0]);
        const float b = saws[1].Next(base * detune[1]);
        const float c = saws[2].Next(base * detune[2]);
        Add(bus, start + i, level * left.Process(a + 0.6f * b + 0.3f * c).low,
            level * right.Process(c + 0.6f * b + 0.3f * a).low);
    }
}

// Two saws a few cents apart through a resonant lowpass that snaps shut.
void AddPluck(Stereo& bus, double startBeat, int pitch, double velocity, double open, double pan)
{
    const size_t start = FrameOfBeat(startBeat);
    const size_t frames = static_cast<size_t>(0.9 * SampleRate);
    const double frequency = NoteFrequency(pitch);
    const std::array<float, 2> side = Pan(pan);
    Saw first;
    Saw second;
    second.phase = 0.37;
    Filter filter;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        if (i % 16 == 0)
            filter.Set(250.0 + open * 3800.0 * std::exp(-t / 0.11), 1.6);
        const float tone = first.Next(frequency) + 0.7f * second.Next(frequency * 1.004);
        const float level = static_cast<float>(0.11 * velocity * DecayEnvelope(t, 0.002, 0.22));
        const float out = level * filter.Process(tone).low;
        Add(bus, start + i, out * side[0], out * side[1]);
    }
}

// A sine for the weight and a filtered saw for the edge, short and punchy.
void AddBassNote(Stereo& bus, double startBeat, double beats, int pitch, double velocity)
{
    const size_t start = FrameOfBeat(startBeat);
    const double held = beats * BeatSeconds;
    const size_t frames = static_cast<size_t>((held + 0.1) * SampleRate);
    const double frequency = NoteFrequency(pitch);
    Saw saw;
    Filter filter;
    double phase = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        if (i % 16 == 0)
            filter.Set(180.0 + 900.0 * std::exp(-t / 0.05), 1.2);
        const double sine = std::sin(2.0 * Pi * phase);
        phase += frequency / SampleRate;
        const double gate = std::min(1.0, t / 0.004) * (t < held ? 1.0 : std::exp(-(t - held) / 0.02));
        const double body = 0.8 * sine + 0.5 * filter.Process(saw.Next(frequency)).low;
        const float out = static_cast<float>(0.35 * velocity * gate * (0.75 + 0.25 * std::exp(-t / 0.15)) * body);
        Add(bus, start + i, out, out);
    }
}

// Two-operator FM: bright at the onset, mellow as it holds, with a late vibrato.
void AddLeadNote(Stereo& bus, double startBeat, double beats, int pitch)
{
    const size_t start = FrameOfBeat(startBeat);
    const double held = beats * BeatSeconds;
    const size_t frames = static_cast<size_t>((held + 0.8) * SampleRate);
    const double frequency = NoteFrequency(pitch);
    double carrier = 0.0;
    double modulator = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double vibrato = 1.0 + 0.004 * std::min(1.0, std::max(0.0, t - 0.3) / 0.4) * std::sin(2.0 * Pi * 5.0 * t);
        const double index = 0.5 + 1.8 * std::exp(-t / 0.12);
        modulator += frequency * vibrato / SampleRate;
        carrier += frequency * vibrato / SampleRate;
        const double tone = std::sin(2.0 * Pi * carrier + index * std::sin(2.0 * Pi * modulator));
        const double rise = std::min(1.0, t / 0.012);
        const double fall = t < held ? 0.7 + 0.3 * std::exp(-t / 0.3) : 0.7 * std::exp(-(t - held) / 0.15);
        const float out = static_cast<float>(0.16 * rise * fall * tone);
        Add(bus, start + i, out, out);
    }
}

void AddKick(Stereo& bus, double startBeat, double velocity)
{
    const size_t start = FrameOfBeat(startBeat);
    double phase = 0.0;
    for (size_t i = 0; i < static_cast<size_t>(0.4 * SampleRate); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        phase += (48.0 + 110.0 * std::exp(-t / 0.03)) / SampleRate;
        const double body = std::sin(2.0 * Pi * phase) * DecayEnvelope(t, 0.001, 0.16);
        const double click = std::exp(-t / 0.002) * std::sin(2.0 * Pi * 1800.0 * t);
        const float out = static_cast<float>(0.5 * velocity * SoftLimit(static_cast<float>(1.3 * body + 0.15 * click)));
        Add(bus, start + i, out, out);
    }
}

void AddSnare(Stereo& bus, double startBeat, double velocity, Noise& noise)
{
    const size_t start = FrameOfBeat(startBeat);
    Filter filter;
    filter.Set(3200.0, 0.7);
    double phase = 0.0;
    for (size_t i = 0; i < static_cast<size_t>(0.35 * SampleRate); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        phase += (180.0 + 40.0 * std::exp(-t / 0.02)) / SampleRate;
        const double tone = std::sin(2.0 * Pi * phase) * DecayEnvelope(t, 0.001, 0.05);
        const double rattle = filter.Process(noise.Next()).band * DecayEnvelope(t, 0.001, 0.08);
        const float out = static_cast<float>(velocity * (0.5 * tone + 0.9 * rattle));
        Add(bus, start + i, out * 0.95f, out);
    }
}

void AddHat(Stereo& bus, double startBeat, double velocity, double decay, Noise& noise)
{
    const size_t start = FrameOfBeat(startBeat);
    Filter filter;
    filter.Set(8000.0, 0.9);
    for (size_t i = 0; i < static_cast<size_t>(decay * 6.0 * SampleRate); ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const float out = static_cast<float>(0.2 * velocity * DecayEnvelope(t, 0.0005, decay)) * filter.Process(noise.Next()).high;
        Add(bus, start + i, out * 0.8f, out);
    }
}

// ---------------------------------------------------------------------------
// Parts: each plays a bar of its instrument from the bar's plan.

struct Buses {
    Stereo pad{LoopFrames};
    Stereo arp{LoopFrames};
    Stereo bass{LoopFrames};
    Stereo lead{LoopFrames};
    Stereo beat{LoopFrames};   // kick and hats, kept out of the room
    Stereo snare{LoopFrames};
};

void PlayPadBar(Stereo& bus, int bar, const BarPlan& plan, Noise& noise)
{
    for (int pitch : plan.chord.voicing)
        AddPadNote(bus, bar * BeatsPerBar, BeatsPerBar, pitch, noise);
}

void PlayArpBar(Stereo& bus, int bar, const BarPlan& plan)
{
    constexpr std::array<int, 16> Steps{0, 2, 4, 5, 3, 4, 6, 4, 0, 2, 4, 5, 3, 5, 7, 5};
    for (size_t step = 0; step < Steps.size(); ++step) {
        const int tone = Steps[step];
        const int pitch = plan.chord.voicing[tone % 4] + 12 * (tone / 4);
        const double velocity = step % 4 == 0 ? 1.0 : (step % 2 == 0 ? 0.75 : 0.55);
        AddPluck(bus, bar * BeatsPerBar + step * 0.25, pitch, velocity, plan.arpOpen, step % 2 == 0 ? -0.35 : 0.35);
    }
}

// Root eighths with an octave leap on the offbeats of the second half.
void PlayBassBar(Stereo& bus, int bar, const BarPlan& plan)
{
    if (!plan.bass)
        return;
    constexpr std::array<int, 8> Octaves{0, 0, 1, 0, 0, 1, 0, 1};
    for (int eighth = 0; eighth < 8; ++eighth) {
        const double velocity = eighth % 2 == 0 ? 1.0 : 0.7;
        AddBassNote(bus, bar * BeatsPerBar + eighth * 0.5, 0.4, plan.chord.bass + 12 * Octaves[eighth], velocity);
    }
}

// Kick on one, three and the and of three; snare on two and four, a ghost note closing
// every fourth bar.
void PlayDrumBar(Buses& buses, int bar, const BarPlan& plan, Noise& noise)
{
    const double downbeat = bar * BeatsPerBar;
    if (plan.drums) {
        for (double beat : {0.0, 2.0, 2.5})
            AddKick(buses.beat, downbeat + beat, beat == 2.5 ? 0.7 : 1.0);
        AddSnare(buses.snare, downbeat + 1.0, 1.0, noise);
        AddSnare(buses.snare, downbeat + 3.0, 1.0, noise);
        if (bar % 4 == 3)
            AddSnare(buses.snare, downbeat + 3.75, 0.35, noise);
    }
    const int perBeat = plan.hats == 2 ? 4 : 2;
    for (int hit = 0; plan.hats > 0 && hit < BeatsPerBar * perBeat; ++hit) {
        const bool offbeat = hit % perBeat == perBeat / 2;
        AddHat(buses.beat, downbeat + static_cast<double>(hit) / perBeat, offbeat ? 1.0 : 0.5,
               offbeat ? 0.045 : 0.02, noise);
    }
}

void PlayTheme(Stereo& bus, const std::vector<Note>& theme, int firstBar)
{
    for (const Note& note : theme)
        AddLeadNote(bus, firstBar * BeatsPerBar + note.beat, note.beats, note.pitch);
}

// The pump: pad, arpeggio and bass dip under every kick and swell back.
std::vector<float> KickDucking()
{
    std::vector<float> gain(LoopFrames, 1.0f);
    for (int bar = 0; bar < Bars; ++bar) {
        if (!PlanOfBar(bar).drums)
            continue;
        for (double beat : {0.0, 2.0, 2.5}) {
            const size_t start = FrameOfBeat(bar * BeatsPerBar + beat);
            for (size_t i = 0; i < static_cast<size_t>(0.4 * SampleRate); ++i) {
                const double t = static_cast<double>(i) / SampleRate;
                float& g = gain[(start + i) % LoopFrames];
                g = std::min(g, static_cast<float>(1.0 - 0.45 * std::exp(-t / 0.09)));
            }
        }
    }
    return gain;
}

void Duck(Stereo& bus, const std::vector<float>& gain, float depth)
{
    for (size_t i = 0; i < bus.Frames(); ++i) {
        const float g = 1.0f - depth * (1.0f - gain[i]);
        bus.left[i] *= g;
        bus.right[i] *= g;
    }
}

void MixInto(Stereo& out, const Stereo& bus, float gain)
{
    for (size_t i = 0; i < out.Frames(); ++i) {
        out.left[i] += gain * bus.left[i];
        out.right[i] += gain * bus.right[i];
    }
}

Buses PlayScore()
{
    Buses buses;
    Noise noise;
    for (int bar = 0; bar < Bars; ++bar) {
        const BarPlan plan = PlanOfBar(bar);
        PlayPadBar(buses.pad, bar, plan, noise);
        PlayArpBar(buses.arp, bar, plan);
        PlayBassBar(buses.bass, bar, plan);
        PlayDrumBar(buses, bar, plan, noise);
    }
    PlayTheme(buses.lead, FirstTheme, 12);
    PlayTheme(buses.lead, SecondTheme, 20);
    return buses;
}

// Echoes for the arpeggio and the lead, a room for everything but kick and bass.
Stereo AddRoom(const Buses& buses)
{
    Stereo echoSend(LoopFrames);
    MixInto(echoSend, buses.arp, 0.5f);
    MixInto(echoSend, buses.lead, 0.6f);
    Stereo roomSend(LoopFrames);
    MixInto(roomSend, buses.pad, 0.6f);
    MixInto(roomSend, buses.arp, 0.5f);
    MixInto(roomSend, buses.lead, 0.7f);
    MixInto(roomSend, buses.snare, 0.5f);
    Stereo wet(LoopFrames);
    ApplyPingPongDelay(echoSend, wet, FrameOfBeat(0.75), 0.38f, 0.55f);
    ApplyReverb(roomSend, wet, 0.82f, 0.45f, 0.9f);
    return wet;
}

// Joins the loop's end to its restart after the short pause of silence the player
// leaves between them, without a click.
void SoftenEnds(Stereo& track)
{
    const size_t frames = static_cast<size_t>(0.008 * SampleRate);
    for (size_t i = 0; i < frames; ++i) {
        const float g = static_cast<float>(0.5 - 0.5 * std::cos(Pi * i / frames));
        for (Samples* side : {&track.left, &track.right}) {
            (*side)[i] *= g;
            (*side)[side->size() - 1 - i] *= g;
        }
    }
}

}  // namespace

Stereo RenderBackgroundTrack()
{
    Buses buses = PlayScore();
    const std::vector<float> ducking = KickDucking();
    Duck(buses.pad, ducking, 1.0f);
    Duck(buses.bass, ducking, 0.8f);
    Duck(buses.arp, ducking, 0.4f);
    Stereo track = AddRoom(buses);
    MixInto(track, buses.pad, 1.0f);
    MixInto(track, buses.arp, 1.8f);
    MixInto(track, buses.bass, 0.85f);
    MixInto(track, buses.lead, 1.0f);
    MixInto(track, buses.beat, 1.0f);
    MixInto(track, buses.snare, 0.8f);
    Normalise(track, 1.0f);
    for (size_t i = 0; i < track.Frames(); ++i) {
        track.left[i] = SoftLimit(track.left[i]);
        track.right[i] = SoftLimit(track.right[i]);
    }
    Normalise(track, 0.89f);
    SoftenEnds(track);
    return track;
}
