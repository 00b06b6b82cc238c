// Blocks and pieces: creation, the next piece, garbage drops, leaving the world.
#include "game/GameLocal.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uintptr_t OutOfPlayMark = 1;

// An equilateral triangle with the area of the square of this half size.
b2PolygonShape TriangleShape(float halfSize)
{
    const double f = std::pow(3.0, -0.25);
    const float a = static_cast<float>(halfSize * f * std::sqrt(3.0));
    const float w = static_cast<float>(2.0 * halfSize * f);
    const float third = halfSize / 3.0f;
    const b2Vec2 vertices[3] = {b2Vec2(0.0f, a + third), b2Vec2(-w, -a + third), b2Vec2(w, -a + third)};
    b2PolygonShape shape;
    shape.Set(vertices, 3);
    return shape;
}

b2PolygonShape SquareShape(float halfSize, float angle)
{
    b2PolygonShape shape;
    shape.SetAsBox(halfSize, halfSize, b2Vec2(0.0f, 0.0f), angle);
    return shape;
}

// Player 0's spawn point lies over the left field, player 1's over the right.
float SpawnX(const Game& game, int32_t player)
{
    const float dividerX = game.dividerBody->GetPosition().x;
    return player == 0 ? (dividerX - 20.0f) * 0.5f : (dividerX + 20.0f) * 0.5f;
}

// The piece in hand becomes an ordinary heavy block where it is, at rest.
void ReleasePiece(Game& game, int32_t player)
{
    b2Body* old = game.currentPiece[player];
    const b2Vec2 position = old->GetPosition();
    CreateBlock(game, KindOf(old), 2.0f, 1.0f, old->GetAngle(), position.x, position.y);
    game.blocks.erase(std::find(game.blocks.begin(), game.blocks.end(), old));
    game.world->DestroyBody(old);
    game.currentPiece[player] = nullptr;
}

// Many owed blocks arrive as fewer big ones.
void DeliverAttack(Game& game, int32_t owner, int32_t field, int32_t bigCap)
{
    int32_t count = game.pendingAttack[owner];
    float halfSize = 1.0f;
    if (count > 32) {
        count = std::min(count / 4, bigCap);
        halfSize = 2.0f;
    }
    DropGarbage(game, count, field, halfSize);
    game.pendingAttack[owner] = 0;
}

// Whoever needs a kind first draws it and leaves it for the other player, so
// both are dealt the same sequence however fast they play.
int64_t TakeNextKind(Game& game, int32_t player)
{
    std::deque<uint8_t>& shared = game.sharedKinds[player];
    if (!shared.empty()) {
        const int64_t kind = shared.front();
        shared.pop_front();
        return kind;
    }
    const int64_t kind = RandomKind();
    if (game.mode != 2)
        game.sharedKinds[1 - player].push_back(static_cast<uint8_t>(kind));
    return kind;
}

void AdvanceKindQueue(Game& game, int32_t player)
{
    int64_t* kinds = game.nextKinds[player];
    std::copy(kinds + 1, kinds + 4, kinds);
    kinds[3] = TakeNextKind(game, player);
}

}  // namespace

double RandomFraction()
{
    return Rand() / 32767.0;
}

float RandomAngle()
{
    return static_cast<float>(RandomFraction() * 2.0 * static_cast<double>(3.1415927f));
}

int64_t RandomKind()
{
    return static_cast<int64_t>(RandomFraction() * 4.0 + 1.0);
}

void TakeOutOfPlay(Game& game, b2Body* body)
{
    body->GetUserData().pointer = OutOfPlayMark;
    game.doomed.push_back(body);
}

bool IsOutOfPlay(const b2Body* body)
{
    return const_cast<b2Body*>(body)->GetUserData().pointer == OutOfPlayMark;
}

void DropOutOfPlay(Game& game)
{
    game.blocks.erase(std::remove_if(game.blocks.begin(), game.blocks.end(), IsOutOfPlay), game.blocks.end());
}

b2Body* CreateBlock(Game& game, int64_t kind, float density, float halfSize, float angle, float x, float y)
{
    b2BodyDef bodyDef;
    bodyDef.type = b2_dynamicBody;
    bodyDef.position.Set(x, y);
    bodyDef.linearDamping = 0.9f;
    bodyDef.angularDamping = 0.9f;
    b2Body* body = game.world->CreateBody(&bodyDef);

    // The square turns inside an unturned body; a triangle always stands upright.
    const b2PolygonShape shape = game.trianglePieces ? TriangleShape(halfSize) : SquareShape(halfSize, angle);
    b2FixtureDef fixtureDef;
    fixtureDef.shape = &shape;
    fixtureDef.friction = 0.3f;
    fixtureDef.restitution = 0.3f;
    fixtureDef.density = density;
    fixtureDef.userData.pointer = static_cast<uintptr_t>(kind);
    body->CreateFixture(&fixtureDef);

    game.blocks.push_back(body);
    return body;
}

void NextPiece(Game& game, int32_t player)
{
    const bool hasPiece = game.currentPiece[player] != nullptr;
    if (hasPiece && game.frame - game.lastNextFrame[player] < 30u)
        return;
    game.lastNextFrame[player] = game.frame;
    if (hasPiece) {
        ReleasePiece(game, player);
        SettleChain(game, player);
        CancelAttacks(game);
        DeliverAttack(game, 1 - player, 1 - player, 30);  // into the player's own field
        if (game.mode == 2)
            DeliverAttack(game, player, player, 40);  // the player's own attack fills the right field
    }
    game.currentPiece[player] = CreateBlock(game, game.nextKinds[player][0], 0.1f, 1.0f, 0.0f,
                                            SpawnX(game, player), 25.0f);
    AdvanceKindQueue(game, player);
}

void DropGarbage(Game& game, int32_t count, int32_t field, float halfSize)
{
    const float x = SpawnX(game, field == 1 ? 0 : 1);
    for (int32_t i = 0; i < count; ++i)
        CreateBlock(game, GreyKind, 2.0f, halfSize, RandomAngle(), x, 25.0f);
}

void FlushDoomedBodies(Game& game)
{
    while (!game.doomed.empty()) {
        b2Body* body = game.doomed.back();
        for (b2Body*& piece : game.currentPiece) {
            if (piece == body)
                piece = nullptr;
        }
        const auto bomb = std::find_if(game.bombs.begin(), game.bombs.end(),
                                       [body](const TimedBomb& b) { return b.body == body; });
        if (bomb != game.bombs.end())
            game.bombs.erase(bomb);
        game.world->DestroyBody(body);
        game.doomed.pop_back();
    }
}
