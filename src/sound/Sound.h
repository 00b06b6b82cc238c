// Sound: a program-wide table of effects and streamed music, played by slot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Entry kinds.
constexpr int32_t SoundKindMidi = 0;    // a MIDI file: loops as music, plays once as an effect
constexpr int32_t SoundKindWave = 1;    // a wave effect
constexpr int32_t SoundKindStream = 2;  // streamed music, opened only when played

struct SoundEntry {
    void* sample = nullptr;  // the decoded sound (Mix_Chunk) of kinds 0 and 1
    int32_t kind = SoundKindStream;
    std::string path;        // the file name as passed to LoadSound
    int32_t refCount = 0;    // loads of this file; below 1 the entry is free
};

// Program-wide, from InitSound until ShutdownSound at exit.
extern std::vector<SoundEntry> SoundTable;
extern int32_t CurrentMusic;  // slot of the track now playing, -1 for none

// Opens the mixer: 0 on success, a negative code when there is no audio device.
int32_t InitSound();
// The slot of a file, loading it on first use; -1 when it cannot be loaded.
int32_t LoadSound(const char* fileName);
// An effect over everything else (isMusic false), or the looping background track.
void PlaySound(bool isMusic, int32_t slot);
// Message 0x8001: the track reached its end and starts again from the beginning.
void OnMusicEvent();
// The second exit hook: stops everything and frees the table.
void ShutdownSound();
