// Sound: a program-wide table of effects and streamed music, played by slot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Entry kinds. An effect of kind 0 or 1 sounds twice in a row (one repeat); as music
// both loop.
constexpr int32_t SoundKindMidi = 0;    // a name containing ".mid": a MIDI file
constexpr int32_t SoundKindWave = 1;    // a name containing ".wav": a wave file
constexpr int32_t SoundKindStream = 2;  // any other name: streamed music, opened only when played

struct SoundEntry {
    void* sample = nullptr;  // the decoded sound (Mix_Chunk) of kinds 0 and 1, owned by the table
    int32_t kind = SoundKindStream;
    std::string path;        // the file name as passed to LoadSound
    int32_t refCount = 0;    // loads of this file; below 1 the entry is free
};

// Program-wide, from InitSound until ShutdownSound at exit.
extern std::vector<SoundEntry> SoundTable;
extern int32_t CurrentMusic;  // slot of the track now playing, -1 for none

// Called once by LoadSettings. Opens the mixer: 0 on success, -1 when the audio system
// cannot start, -2 when no audio device opens. After a failure every load gives -1.
int32_t InitSound();
// The slot of a file, loading it on first use; a file already loaded gets its slot back
// with one more refCount. -1 without a mixer or when a ".mid" or ".wav" file cannot be
// read; other files are opened only when played as music.
int32_t LoadSound(const char* fileName);
// isMusic false: an effect over the music and over other effects (a streamed entry
// plays nothing). isMusic true: the entry becomes the looping background track; the
// track already playing goes on untouched; an unplayable slot stops the track.
// The end of a streamed track comes back as message 0x8001 (WM_MUSICEVENT).
void PlaySound(bool isMusic, int32_t slot);
// Message 0x8001: a streamed track that reached its end starts again from the beginning.
void OnMusicEvent();
// The second exit hook: stops everything, frees the table, closes the mixer. Safe after
// a failed InitSound.
void ShutdownSound();
