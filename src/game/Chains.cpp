// Blasts, chains, score and attacks.
#include "game/GameLocal.h"

#include <cmath>

namespace {

// A grey block near a blast breaks, unless grey set the blast off; a big one
// leaves four small ones behind.
void BreakGrey(Game& game, b2Body* body, b2Vec2 position)
{
    const int32_t side = SideOf(game, position.x);
    if (SweepRadius(body) > 2.0f)
        game.fragmentSpawns[side].insert(game.fragmentSpawns[side].end(), 4, position);
    game.chainCleared[side] += 1;
    game.lastClearFrame[side] = game.frame;
    TakeOutOfPlay(game, body);
    SpawnSparks(game, GreyKind, position.x, position.y);
}

// Pushes the body away from the centre and breaks it when it is grey and close;
// leaves a broken block listed (marked) in blocks.
void PushAndBreak(Game& game, float cx, float cy, float strength, float falloff, b2Body* body, int64_t sourceKind)
{
    const float s = static_cast<float>(game.blastPower) * strength;
    const b2Vec2 position = body->GetPosition();
    const float dx = position.x - cx;
    const float dy = position.y - cy;
    const float d = std::sqrt(dx * dx + dy * dy);
    // A body right at the centre has no direction to be pushed in.
    if (d > 0.0f) {
        const float l = 1.0f + falloff * d * d;
        body->ApplyLinearImpulse(b2Vec2(2.0f * s * dx / (d * l), 2.0f * s * dy / (d * l)), position, true);
    }
    if (ColourOf(KindOf(body)) == GreyKind && ColourOf(sourceKind) != GreyKind && d < 6.0f)
        BreakGrey(game, body, position);
}

// 0 for no colour, else one more than the highest colour bit.
uint32_t BitLength(uint32_t bits)
{
    uint32_t n = 0;
    for (; bits != 0; bits >>= 1)
        ++n;
    return n;
}

// Chains of one or two blocks earn nothing; the highest colour in a chain
// weighs more than the number of colours.
uint32_t ChainPoints(const Game& game, int32_t player)
{
    if (game.chainCleared[player] <= 2)
        return 0;
    const uint32_t n = BitLength(game.chainColours[player]);
    uint32_t base = 16u * static_cast<uint32_t>(game.chainHits[player]);
    if (n >= 2)
        base += 3u << (n - 1);
    else if (n == 0)
        base += 3;
    return 10u * game.chainCleared[player] * base;
}

}  // namespace

void ApplyBlast(Game& game, float cx, float cy, float strength, float falloff, b2Body* body, int64_t sourceKind)
{
    PushAndBreak(game, cx, cy, strength, falloff, body, sourceKind);
    if (IsOutOfPlay(body))
        DropOutOfPlay(game);
}

// Every block listed when the blast starts gets its push once, also when an
// earlier one broke; blocks already out of play get none.
void BlastAll(Game& game, float cx, float cy, float strength, float falloff, int64_t sourceKind)
{
    for (b2Body* block : game.blocks) {
        if (!IsOutOfPlay(block))
            PushAndBreak(game, cx, cy, strength, falloff, block, sourceKind);
    }
    DropOutOfPlay(game);
}

void SettleChain(Game& game, int32_t player)
{
    if (game.chainCleared[player] != 0)
        game.lastChainSize[player] = static_cast<int32_t>(game.chainCleared[player]);
    const uint32_t points = ChainPoints(game, player);
    game.score += points;
    game.pendingAttack[player] += static_cast<int32_t>(points / 350);
    game.chainCleared[player] = 0;
    game.chainHits[player] = 0;
    game.chainColours[player] = 0;
}

void CancelAttacks(Game& game)
{
    int32_t* attack = game.pendingAttack;
    if (attack[0] >= attack[1]) {
        attack[0] -= attack[1];
        attack[1] = 0;
    } else {
        attack[1] -= attack[0];
        attack[0] = 0;
    }
}

uint32_t AttackPreview(const Game& game, int32_t player)
{
    return ChainPoints(game, player) / 350;
}
