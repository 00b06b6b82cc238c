// The Game scene overlays.
#include "game/Game.h"
#include "render/Render.h"
