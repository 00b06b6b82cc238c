// The Game record's set-up: world, container, assets, high score, fresh match.
#include "game/Game.h"

Game* CurrentGame = nullptr;

Game::~Game()
{
    if (CurrentGame == this)
        CurrentGame = nullptr;
}

void Game::Init(int32_t) {}
void ResetMatch(Game&) {}
