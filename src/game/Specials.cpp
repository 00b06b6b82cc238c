// Special drops, timed bombs and the fragments of broken big grey blocks.
#include "game/GameLocal.h"

#include "sound/Sound.h"

namespace {

constexpr int32_t BombFuse = 1140;  // 19 seconds; even, so a double-speed match still hits 0

// Paint or colour bomb of a random colour, a timed bomb, or (for the last draw
// only) a plain uncoloured block.
int64_t DrawSpecialKind()
{
    const int32_t option = static_cast<int32_t>(RandomFraction() * 3.0);
    if (option >= 2)
        return option == 2 ? TimerFlag : 0;
    const int64_t colour = static_cast<int64_t>(RandomFraction() * 4.0 + 1.0);
    return colour + (option == 0 ? PaintFlag : BombFlag);
}

void Explode(Game& game, b2Body* bomb)
{
    const int32_t side = SideOf(game, bomb);
    const b2Vec2 position = bomb->GetPosition();
    game.chainCleared[side] += 1;
    TakeOutOfPlay(game, bomb);
    game.lastClearFrame[side] = game.frame;
    BlastAll(game, position.x, position.y, 30000.0f, 8.0f, 0);
    SpawnSparks(game, 6, position.x, position.y);
    PlaySound(false, game.bombSound);
}

}  // namespace

// Points are used from the last to the first.
void SpawnGreyFragments(Game& game)
{
    for (std::vector<b2Vec2>& spawns : game.fragmentSpawns) {
        while (!spawns.empty()) {
            const b2Vec2 point = spawns.back();
            CreateBlock(game, GreyKind, 2.0f, 1.0f, RandomAngle(), point.x, point.y);
            spawns.pop_back();
        }
    }
}

// About once in 596 frames a special block falls onto the divider's top.
void TrySpecialDrop(Game& game)
{
    if (RandomFraction() >= 0.0016666667)
        return;
    const int64_t kind = DrawSpecialKind();
    b2Body* block = CreateBlock(game, kind, 2.0f, 1.0f, 0.0f, 0.0f, 28.0f);
    if (kind == TimerFlag)
        game.bombs.push_back({BombFuse, block});
}

// The fuse already burns on the frame of the drop.
void BurnBombs(Game& game)
{
    for (TimedBomb& bomb : game.bombs) {
        bomb.framesLeft -= game.frameStep;
        if (bomb.framesLeft == 0)
            Explode(game, bomb.body);
    }
}
