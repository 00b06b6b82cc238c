// Clearing on contact: same colours meeting fast enough, paint, colour bombs, piece hits.
#include "game/GameLocal.h"

#include <utility>

#include "sound/Sound.h"

namespace {

struct Match {
    b2Body* bodies[2];
    int64_t kinds[2];
    b2Vec2 point;
};

bool IsFast(const b2Body* body)
{
    return body->GetLinearVelocity().Length() >= PieceSpeed;
}

// Grey and uncoloured blocks never match; walls, floor and divider have no colour.
bool Matches(const Match& m)
{
    const int32_t colour = ColourOf(m.kinds[1]);
    if (ColourOf(m.kinds[0]) != colour || colour == 0 || colour == GreyKind)
        return false;
    return IsFast(m.bodies[0]) || IsFast(m.bodies[1]);
}

bool HasFlag(const Match& m, int64_t flag)
{
    return ((m.kinds[0] | m.kinds[1]) & flag) != 0;
}

void Paint(Game& game, const Match& m)
{
    const int32_t side = SideOf(game, m.point.x);
    for (b2Body* block : game.blocks) {
        if (!IsOutOfPlay(block) && SideOf(game, block) == side && ColourOf(KindOf(block)) == GreyKind)
            SetKind(block, ColourOf(m.kinds[0]));
    }
}

// Every block of the bomb's colour on its side goes, each with a blast of its own.
void ExplodeColourBomb(Game& game, const Match& m)
{
    const int32_t side = SideOf(game, m.point.x);
    const int32_t colour = ColourOf(m.kinds[0]);
    const std::vector<b2Body*> listed = game.blocks;  // the blasts below compact blocks
    for (b2Body* block : listed) {
        if (IsOutOfPlay(block) || SideOf(game, block) != side || ColourOf(KindOf(block)) != colour)
            continue;
        game.chainCleared[side] += 1;
        const b2Vec2 position = block->GetPosition();
        TakeOutOfPlay(game, block);
        BlastAll(game, position.x, position.y, 10000.0f, 8.0f, colour);
    }
}

void ClearMatched(Game& game, const Match& m, b2Body* block)
{
    const int32_t side = SideOf(game, block);
    game.chainCleared[side] += 1;
    game.lastClearFrame[side] = game.frame;
    game.chainColours[side] |= 1u << (ColourOf(m.kinds[0]) & 31);
    TakeOutOfPlay(game, block);
    if (HasFlag(m, PaintFlag))
        Paint(game, m);
    if (HasFlag(m, BombFlag))
        ExplodeColourBomb(game, m);
    SpawnSparks(game, ColourOf(m.kinds[1]), m.point.x, m.point.y);
}

// The two bodies in the order blocks lists them; one that is out of play
// already comes last and is skipped.
void InListOrder(const Game& game, b2Body* bodies[2])
{
    for (b2Body* block : game.blocks) {
        if (block == bodies[0])
            return;
        if (block == bodies[1]) {
            std::swap(bodies[0], bodies[1]);
            return;
        }
    }
}

void ClearBoth(Game& game, const Match& m)
{
    b2Body* ordered[2] = {m.bodies[0], m.bodies[1]};
    if (IsOutOfPlay(ordered[0]) && IsOutOfPlay(ordered[1]))
        return;  // an earlier point of the same collision cleared both
    InListOrder(game, ordered);
    for (b2Body* block : ordered) {
        if (!IsOutOfPlay(block))
            ClearMatched(game, m, block);
    }
    DropOutOfPlay(game);
}

// A piece in the match sets off a blast, whether or not it is still in play.
void HitWithPieces(Game& game, const Match& m)
{
    for (int32_t p = 0; p < 2; ++p) {
        if (game.currentPiece[p] != m.bodies[0] && game.currentPiece[p] != m.bodies[1])
            continue;
        if (SideOf(game, m.point.x) == p)
            game.chainHits[p] += 1;
        BlastAll(game, m.point.x, m.point.y, 20000.0f, 8.0f, m.kinds[1]);
    }
}

}  // namespace

void MyContactListener::PreSolve(b2Contact* contact, const b2Manifold* oldManifold)
{
    b2PointState before[b2_maxManifoldPoints];
    b2PointState now[b2_maxManifoldPoints];
    b2GetPointStates(before, now, oldManifold, contact->GetManifold());
    b2WorldManifold worldManifold;
    bool placed = false;  // most calls bring no new point: place the points only when needed
    for (int32 i = 0; i < contact->GetManifold()->pointCount; ++i) {
        if (now[i] != b2_addState)
            continue;
        if (!placed)
            contact->GetWorldManifold(&worldManifold);
        placed = true;
        OnContactAdded(contact->GetFixtureA(), contact->GetFixtureB(), worldManifold.points[i]);
    }
}

void OnContactAdded(b2Fixture* fixtureA, b2Fixture* fixtureB, b2Vec2 point)
{
    const Match m = {{fixtureA->GetBody(), fixtureB->GetBody()},
                     {static_cast<int64_t>(fixtureA->GetUserData().pointer),
                      static_cast<int64_t>(fixtureB->GetUserData().pointer)},
                     point};
    if (!Matches(m))
        return;
    Game& game = *CurrentGame;
    PlaySound(false, game.bombSound);
    ClearBoth(game, m);
    HitWithPieces(game, m);
}
