// The sound table on SDL2_mixer.
#include <SDL.h>
#include <SDL_mixer.h>

#include "shell/Shell.h"
#include "sound/Sound.h"

std::vector<SoundEntry> SoundTable;
int32_t CurrentMusic = -1;

namespace {

constexpr int MixerChannels = 32;  // enough for a burst of blasts over the menu sounds
constexpr int TrackChannel = 0;    // reserved: a wave played as the background track
const char* const SoundFontPath = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// Set from InitSound until ShutdownSound.
bool mixerOpen = false;
// The mixer's music stream of the current track (a streamed file or a MIDI file), opened
// when the track starts and closed when it stops.
Mix_Music* trackMusic = nullptr;

Mix_Chunk* ChunkOf(const SoundEntry& entry)
{
    return static_cast<Mix_Chunk*>(entry.sample);
}

// Runs on the mixer's thread; the main loop hands the event to OnMusicEvent as message 0x8001.
void SDLCALL OnStreamFinished()
{
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    event.user.code = WM_MUSICEVENT;
    SDL_PushEvent(&event);
}

int32_t KindOfName(const std::string& name)
{
    if (name.find(".mid") != std::string::npos)
        return SoundKindMidi;
    if (name.find(".wav") != std::string::npos)
        return SoundKindWave;
    return SoundKindStream;
}

int32_t FindLoaded(const std::string& path)
{
    for (size_t slot = 0; slot < SoundTable.size(); ++slot) {
        if (SoundTable[slot].refCount > 0 && SoundTable[slot].path == path)
            return static_cast<int32_t>(slot);
    }
    return -1;
}

int32_t StoreEntry(const SoundEntry& entry)
{
    for (size_t slot = 0; slot < SoundTable.size(); ++slot) {
        if (SoundTable[slot].refCount < 1) {
            Mix_FreeChunk(ChunkOf(SoundTable[slot]));
            SoundTable[slot] = entry;
            return static_cast<int32_t>(slot);
        }
    }
    SoundTable.push_back(entry);
    return static_cast<int32_t>(SoundTable.size() - 1);
}

bool IsPlayable(int32_t slot)
{
    if (slot < 0 || slot >= static_cast<int32_t>(SoundTable.size()))
        return false;
    const SoundEntry& entry = SoundTable[slot];
    return entry.sample != nullptr || entry.kind == SoundKindStream;
}

// An effect sounds through and then once more, the repeat count every effect is given.
void PlayEffect(const SoundEntry& entry)
{
    if (entry.kind != SoundKindStream)
        Mix_PlayChannel(-1, ChunkOf(entry), 1);
}

void CloseTrackMusic()
{
    Mix_HaltMusic();
    Mix_FreeMusic(trackMusic);
    trackMusic = nullptr;
}

void StopTrack()
{
    if (CurrentMusic == -1)
        return;
    if (SoundTable[CurrentMusic].kind == SoundKindWave)
        Mix_HaltChannel(TrackChannel);
    else
        CloseTrackMusic();
    CurrentMusic = -1;
}

// A MIDI track repeats inside the synthesiser, seamlessly at the end of the song; a
// streamed track plays once and is started again by OnMusicEvent. A missing file is
// simply not heard.
void StartTrack(const SoundEntry& entry)
{
    if (entry.kind == SoundKindWave) {
        Mix_PlayChannel(TrackChannel, ChunkOf(entry), -1);
        return;
    }
    trackMusic = Mix_LoadMUS(entry.path.c_str());
    if (trackMusic)
        Mix_PlayMusic(trackMusic, entry.kind == SoundKindMidi ? -1 : 0);
}

}  // namespace

int32_t InitSound()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0)
        return -1;
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
        return -2;
    }
    Mix_Init(MIX_INIT_MP3 | MIX_INIT_MID);
    Mix_SetSoundFonts(SoundFontPath);
    Mix_AllocateChannels(MixerChannels);
    Mix_ReserveChannels(TrackChannel + 1);
    Mix_HookMusicFinished(OnStreamFinished);
    mixerOpen = true;
    return 0;
}

// A MIDI file is rendered through the synthesiser once, here, into a sample that serves
// it as an effect; that costs most of a second, so it happens at loading only.
int32_t LoadSound(const char* fileName)
{
    if (!mixerOpen)
        return -1;
    const int32_t loaded = FindLoaded(fileName);
    if (loaded != -1) {
        ++SoundTable[loaded].refCount;
        return loaded;
    }
    SoundEntry entry;
    entry.kind = KindOfName(fileName);
    if (entry.kind != SoundKindStream) {
        entry.sample = Mix_LoadWAV(fileName);
        if (!entry.sample)
            return -1;
    }
    entry.path = fileName;
    entry.refCount = 1;
    return StoreEntry(entry);
}

void PlaySound(bool isMusic, int32_t slot)
{
    if (!IsPlayable(slot)) {
        if (isMusic)
            StopTrack();
        return;
    }
    if (!isMusic) {
        PlayEffect(SoundTable[slot]);
        return;
    }
    if (slot == CurrentMusic)
        return;
    StopTrack();
    StartTrack(SoundTable[slot]);
    CurrentMusic = slot;
}

// Stopping a track reports an end as well; only a stream that ran out starts again.
void OnMusicEvent()
{
    if (trackMusic && !Mix_PlayingMusic())
        Mix_PlayMusic(trackMusic, 0);
}

void ShutdownSound()
{
    if (!mixerOpen)
        return;
    Mix_HookMusicFinished(nullptr);
    Mix_HaltChannel(-1);
    CloseTrackMusic();
    for (size_t slot = SoundTable.size(); slot-- > 0;)
        Mix_FreeChunk(ChunkOf(SoundTable[slot]));
    SoundTable.clear();
    CurrentMusic = -1;
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS);
    mixerOpen = false;
}
