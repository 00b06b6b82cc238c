// The peak-load match: two fields near 80 %, both pieces diving into the piles.
#include <memory>

#include "Measure.h"
#include "Runs.h"
#include "game/Game.h"
#include "game/GameLocal.h"
#include "input/Input.h"
#include "render/Render.h"
#include "shell/Shell.h"

namespace {

constexpr uint32_t Seed = 20240611;
constexpr uint32_t WarmUpFrames = 180;
constexpr int32_t Columns = 8;
constexpr int32_t Rows = 15;          // 120 blocks a field: 77.6 %
constexpr float TopUpBelow = 76.0f;   // a field emptied by clears gets a block a frame
constexpr float TrimAbove = 78.5f;    // and one filling up from the other side loses one
constexpr uint32_t SweepFrames = 40;  // the pieces turn round this often

// The piles are laid in rows on the floor, their colours from the game's draw.
void LayPiles(Game& game)
{
    for (int32_t side = 0; side < 2; ++side) {
        const float left = side == 0 ? -19.9f : 4.6f;
        for (int32_t i = 0; i < Columns * Rows; ++i) {
            const float x = left + 1.0f + 2.05f * static_cast<float>(i % Columns);
            const float y = -9.0f + 2.1f * static_cast<float>(i / Columns);
            CreateBlock(game, RandomKind(), 2.0f, 1.0f, 0.0f, x, y);
        }
    }
}

void HoldKey(int32_t player, int32_t action, bool down)
{
    SetKeyDown(GameSettings.keyCodes[player][action], down);
}

// Down into the pile, sweeping across it; the two pieces sweep in opposite senses.
// A player whose piece was cleared asks for the next one at once.
void SteerBothPieces(const Game& game)
{
    const bool sweepLeft = (game.frame / SweepFrames) % 2 == 0;
    for (int32_t player = 0; player < 2; ++player) {
        const bool left = sweepLeft == (player == 0);
        HoldKey(player, DOWN, true);
        HoldKey(player, LEFT, left);
        HoldKey(player, RIGHT, !left);
        HoldKey(player, NEXT, game.currentPiece[player] == nullptr);
    }
}

// The highest block of a side that is no piece: the one a full field would lose first.
b2Body* TopBlock(const Game& game, int32_t side)
{
    b2Body* top = nullptr;
    for (b2Body* block : game.blocks) {
        const bool piece = block == game.currentPiece[0] || block == game.currentPiece[1];
        if (!piece && SideOf(game, block) == side && (!top || block->GetPosition().y > top->GetPosition().y))
            top = block;
    }
    return top;
}

// Between frames, outside the timing, the fields are held below the 80 % that would
// end the match: owed attacks are dropped, a field thinned by clears is topped up over
// its spawn point as the game drops its pieces, and one that blasts have overfilled
// from the other side loses its top block.
void HoldAtPeak(Game& game)
{
    game.pendingAttack[0] = game.pendingAttack[1] = 0;
    for (int32_t side = 0; side < 2; ++side) {
        if (game.fill[side] < TopUpBelow) {
            const float x = (side == 0 ? -11.0f : 11.0f) + static_cast<float>(Rand() % 7 - 3);
            CreateBlock(game, RandomKind(), 2.0f, 1.0f, 0.0f, x, 25.0f);
        } else if (game.fill[side] >= TrimAbove) {
            if (b2Body* top = TopBlock(game, side))
                TakeOutOfPlay(game, top);
        }
    }
    DropOutOfPlay(game);
    FlushDoomedBodies(game);
}

// Hands the world's contacts to the game's own listener and times its work; put in
// on every other frame, so that the frames between show the Step as the game has it.
class TimedContactListener : public b2ContactListener {
public:
    explicit TimedContactListener(b2ContactListener& game) : game(game) {}

    void PreSolve(b2Contact* contact, const b2Manifold* oldManifold) override
    {
        const double start = NowSeconds();
        game.PreSolve(contact, oldManifold);
        seconds += NowSeconds() - start;
    }

    b2ContactListener& game;
    double seconds = 0.0;
};

PeakFrame TimedFrame(Game& game, bool timeCallbacks)
{
    PeakFrame sample = {};
    TimedContactListener listener(*game.contactListener);
    if (timeCallbacks)
        game.world->SetContactListener(&listener);
    ResetCallTimes();
    const double start = NowSeconds();
    game.Update();
    const double updated = NowSeconds();
    sample.step = StepTime.seconds;
    sample.sparks = static_cast<uint32_t>(game.particles.size());
    game.world->SetContactListener(game.contactListener.get());
    game.Draw();
    const double drawn = NowSeconds();
    sample.update = updated - start;
    sample.callbacks = listener.seconds;
    sample.callbacksTimed = timeCallbacks;
    sample.swap = SwapTime.seconds;
    sample.driver = GlTime.seconds;
    sample.draw = drawn - updated - sample.swap;
    const FrameStats stats = LastFrameStats();
    sample.drawCalls = stats.drawCalls;
    sample.lines = stats.lines;
    sample.sprites = stats.sprites;
    return sample;
}

// The window's events are taken so that the window stays responsive; none is for the game.
void DrainMessages()
{
    Message message = {};
    while (PeekMessage(message)) {
    }
}

}  // namespace

std::vector<PeakFrame> RunPeakLoad(uint32_t frames)
{
    SeedRandom(Seed);
    ClearKeyStates();
    FramePacing = false;
    auto game = std::make_unique<Game>();
    game->Init(0);
    while (game->frame + 1 < PlayStartFrame)
        game->Update();
    LayPiles(*game);
    std::vector<PeakFrame> samples;
    for (uint32_t i = 0; i < WarmUpFrames + frames; ++i) {
        DrainMessages();
        SteerBothPieces(*game);
        HoldAtPeak(*game);
        PeakFrame sample = TimedFrame(*game, i % 2 == 1);
        TimeGlCalls();
        sample.blocks = static_cast<uint32_t>(game->blocks.size());
        sample.fill[0] = game->fill[0];
        sample.fill[1] = game->fill[1];
        sample.chainRunning = game->chainCleared[0] > 0 || game->chainCleared[1] > 0;
        if (i >= WarmUpFrames)
            samples.push_back(sample);
    }
    ClearKeyStates();
    return samples;
}
