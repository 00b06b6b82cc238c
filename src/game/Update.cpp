// The frame update of a match.
#include <cmath>
#include <optional>

#include "game/Game.h"
#include "input/Input.h"
#include "render/Render.h"

namespace {
constexpr uint32_t OpeningFrames = 120;
constexpr uint32_t LeavingFrames = 120;
constexpr uint32_t AutoNextFrames = 120;
constexpr uint32_t FinaleFrame = 3900;  // the floor rises after it, outside the single-player mode
constexpr float FinaleRise = 0.010833333f;
constexpr uint32_t PhysicsAfterEndFrames = 30;
constexpr uint32_t QuietChainFrames = 60;
constexpr uint32_t GarbageInterval = 300;  // single-player mode
constexpr float FrameSeconds = 0.016666668f;

// The camera pulls back from the target to 50 units away, fast at first and easing out.
void MoveOpeningCamera(const Game& game)
{
    if (game.frame > OpeningFrames)
        return;
    const float s = std::sin(static_cast<float>(game.frame) / 120.0f * 3.1415927f / 2.0f);
    SetViewCamera(glm::vec3(0.0f, 10.0f, -50.0f * s), glm::vec3(0.0f, 10.0f, 0.0f), glm::vec3(0.0f, 1.0f, 0.0f));
}

void LeaveWhenDue(const Game& game)
{
    if (game.quitFrame != 0 && game.frame - game.quitFrame >= LeavingFrames)
        RequestScene(1, 0);
}

void DealFirstPieces(Game& game)
{
    if (game.frame != PlayStartFrame)
        return;
    NextPiece(game, 0);
    if (game.mode != 2)
        NextPiece(game, 1);
}

bool FieldFull(const Game& game)
{
    return game.fill[0] >= FillLimit || game.fill[1] >= FillLimit;
}

bool InPlay(const Game& game)
{
    return !FieldFull(game) && game.frame >= PlayStartFrame;
}

int32_t PlayerCount(const Game& game)
{
    return game.mode == 2 ? 1 : 2;
}

void SteerComputerPieces(Game& game)
{
    for (int32_t player = 0; player < PlayerCount(game); ++player) {
        if (game.cpuControlled[player])
            SteerCpuPiece(game, player);
    }
}

// Unless a player asks earlier, the next piece comes 120 frames after the previous one.
void DealDuePieces(Game& game)
{
    for (int32_t player = 0; player < PlayerCount(game); ++player) {
        if (game.frame - game.lastNextFrame[player] >= AutoNextFrames)
            NextPiece(game, player);
    }
}

// How far the floor rises in this frame: in the single-player mode from the start, by
// level; otherwise only in the finale.
float FloorRise(const Game& game)
{
    if (game.mode == 2)
        return std::sqrt(static_cast<float>(game.level)) * 39.0f / 14400.0f;
    return game.frame > FinaleFrame ? FinaleRise : 0.0f;
}

// The floor is given the speed that carries it there during the step, so the pile rides
// up on it instead of being squeezed by a jump; the step's end puts it exactly in place.
std::optional<b2Vec2> StartFloorRise(Game& game)
{
    const float rise = FloorRise(game);
    if (rise == 0.0f)
        return std::nullopt;
    const b2Vec2 position = game.floorBody->GetPosition();
    game.floorBody->SetLinearVelocity(b2Vec2(0.0f, rise / (game.frameStep * FrameSeconds)));
    return b2Vec2(position.x, position.y + rise);
}

void FinishFloorRise(Game& game, const std::optional<b2Vec2>& floorGoal)
{
    if (!floorGoal)
        return;
    game.floorBody->SetTransform(*floorGoal, 0.0f);
    game.floorBody->SetLinearVelocity(b2Vec2(0.0f, 0.0f));
}

// In the single-player mode eight small grey blocks fall into the player's field every 300 frames.
void DropTimedGarbage(Game& game)
{
    if (game.mode == 2 && game.frame % GarbageInterval == 0)
        DropGarbage(game, 8, 1, 1.0f);
}

// Returns where the floor has to be at the end of the frame, when it moves.
std::optional<b2Vec2> RunPlayPhase(Game& game)
{
    SteerPieces(game);
    SteerComputerPieces(game);
    DealDuePieces(game);
    SpawnGreyFragments(game);
    if (game.specialDrops)
        TrySpecialDrop(game);
    const std::optional<b2Vec2> floorGoal = StartFloorRise(game);
    UpdateFill(game);
    DropTimedGarbage(game);
    BurnBombs(game);
    return floorGoal;
}

// Physics goes on for 30 frames after the match ended, then the field stands still.
void StepPhysics(Game& game)
{
    if (game.gameOverFrame != 0 && game.frame - game.gameOverFrame >= PhysicsAfterEndFrames)
        return;
    const int32_t iterations = StepIterations();
    game.world->Step(game.frameStep * FrameSeconds, iterations, iterations);
}

// A chain ends a second after its last clear.
void SettleQuietChains(Game& game)
{
    for (int32_t player = 0; player < 2; ++player) {
        if (game.frame - game.lastClearFrame[player] >= QuietChainFrames)
            SettleChain(game, player);
    }
}
}  // namespace

void Game::Update()
{
    PollJoysticks();                                   // 1. menus work while paused
    if (paused)                                        // 2.
        return;
    if (skipToFinale && frame == PlayStartFrame)       // 3.
        frame = FinaleFrame - frameStep;
    frame += frameStep;                                // 4.
    MoveOpeningCamera(*this);                          // 5.
    LeaveWhenDue(*this);                               // 6.
    DealFirstPieces(*this);                            // 7.
    if (FieldFull(*this))                              // 8.
        StepMatchEnd(*this);
    std::optional<b2Vec2> floorGoal;                   // 9. (after 8, which may reset the match)
    if (InPlay(*this))
        floorGoal = RunPlayPhase(*this);
    StepPhysics(*this);                                // 10.
    FinishFloorRise(*this, floorGoal);
    FlushDoomedBodies(*this);                          // 11.
    SettleQuietChains(*this);                          // 12.
    CancelAttacks(*this);                              // 13.
}
