// The Game scene's overlays: what the players read over the field.
#pragma once

class Game;

// Chain counters and bars, fill percentages, attack columns, next pieces, countdown,
// the single-player texts and the results and pause screens, in that order.
// Called by Game::Draw inside the frame; reads the game only.
void DrawOverlays(const Game& game);
