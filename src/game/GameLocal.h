// Helpers shared by the match rules of the game folder; not for other folders.
#pragma once

#include "game/Game.h"

// A block taken out of play goes to doomed at once and carries a mark in its
// body's user data, but stays in blocks until DropOutOfPlay: scans that run
// while blocks are being taken out skip marked entries instead of erasing one
// element at a time, so a blast that breaks many blocks stays linear.
void TakeOutOfPlay(Game& game, b2Body* body);
bool IsOutOfPlay(const b2Body* body);
// Removes the marked blocks from blocks, the others keeping their order.
void DropOutOfPlay(Game& game);

// The low byte of a kind.
inline int32_t ColourOf(int64_t kind)
{
    return static_cast<int32_t>(kind & 0xFF);
}

// r / 32767 for a fresh draw r: both 0 and 1 occur.
double RandomFraction();
// A fresh angle from 0 to 2 pi, formed in double precision and stored as single.
float RandomAngle();
