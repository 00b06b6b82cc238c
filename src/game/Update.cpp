// The frame update of a match.
#include "game/Game.h"

void Game::Update() {}
