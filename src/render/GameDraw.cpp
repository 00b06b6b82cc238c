// The Game scene's picture: field, blocks, sparks, piece marks.
#include "game/Game.h"
#include "render/Render.h"

void Game::Draw() {}
