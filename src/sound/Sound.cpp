// The sound table on SDL2_mixer.
#include "sound/Sound.h"

std::vector<SoundEntry> SoundTable;
int32_t CurrentMusic = -1;

int32_t InitSound() { return -1; }
int32_t LoadSound(const char*) { return -1; }
void PlaySound(bool, int32_t) {}
void OnMusicEvent() {}
void ShutdownSound() {}
