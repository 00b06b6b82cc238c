// The background track, composed and played by the asset generator's synthesiser.
#pragma once

#include "Synth.h"

// 32 bars in A minor at 120 beats a minute: 64 seconds that loop seamlessly, the
// last bar leading back into the first.
Stereo RenderBackgroundTrack();
