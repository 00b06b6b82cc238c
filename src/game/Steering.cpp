// Piece steering: human players by keys, buttons, mouse or stick, and the computer.
#include <cmath>

#include "game/Game.h"
#include "input/Input.h"

namespace {
// The computer's last release decision per player; kept across Games for the whole run.
uint32_t releaseTimes[2] = {0, 0};

constexpr float CalmFill = 30.0f;          // percent; above it the computer is under pressure
constexpr int32_t PressingAttack = 32;     // owed grey blocks that put the computer under pressure
constexpr uint32_t RecentClearFrames = 60;
constexpr uint32_t ReleaseTimeout = 3000;  // ms: the computer lets a piece go at the latest then
constexpr int32_t StickDeadZone = 10;

// A stick that has been unplugged steers no more: its player falls back to the keys.
bool SteersByStick(int32_t player)
{
    const int32_t joystick = GameSettings.controllerMode[player];
    return joystick >= 0 && GameSettings.useAxis[player] && !JoystickUnplugged(joystick);
}

void SetVelocity(b2Body* piece, float vx, float vy)
{
    piece->SetLinearVelocity(b2Vec2(vx, vy));
}

// (0, 0) stays (0, 0); anything else keeps its direction at the steering speed.
b2Vec2 AtSteeringSpeed(b2Vec2 v)
{
    const float length = v.Length();
    if (length == 0.0f)
        return v;
    return b2Vec2(v.x / length * PieceSpeed, v.y / length * PieceSpeed);
}

// Flies the piece towards the cursor while the left button is held; the keys are not read.
void SteerByMouse(Game& game, int32_t player)
{
    b2Body* piece = game.currentPiece[player];
    if (piece != nullptr) {
        b2Vec2 v(0.0f, 0.0f);
        if (IsMouseButtonDown(VK_LBUTTON))
            v = AtSteeringSpeed(CursorWorldPosition() - piece->GetPosition());
        SetVelocity(piece, v.x, v.y);
    }
    if (IsMouseButtonDown(VK_RBUTTON))
        NextPiece(game, player);
}

// Opposite directions cancel; a diagonal keeps the steering speed.
b2Vec2 KeyDirection(int32_t player)
{
    b2Vec2 v(0.0f, 0.0f);
    if (IsActionDown(player, LEFT))
        v.x = -PieceSpeed;
    if (IsActionDown(player, RIGHT))
        v.x += PieceSpeed;
    if (IsActionDown(player, DOWN))
        v.y = -PieceSpeed;
    if (IsActionDown(player, UP))
        v.y += PieceSpeed;
    return AtSteeringSpeed(v);
}

void SteerByKeys(Game& game, int32_t player)
{
    b2Vec2 v = KeyDirection(player);
    b2Body* piece = game.currentPiece[player];
    const bool next = IsActionDown(player, NEXT);
    if (next) {
        v.SetZero();
        if (piece != nullptr && SteersByStick(player))
            SetVelocity(piece, 0.0f, 0.0f);
    }
    if (piece != nullptr && !SteersByStick(player))
        SetVelocity(piece, v.x, v.y);
    if (next)
        NextPiece(game, player);
}

bool UnderPressure(const Game& game, int32_t player)
{
    return game.fill[player] > CalmFill || game.pendingAttack[player] >= PressingAttack ||
           game.frame - game.lastClearFrame[player] < RecentClearFrames;
}

// In calm play the computer lets a piece go as soon as it may; a stuck piece goes after 3 s.
void DecideRelease(Game& game, int32_t player)
{
    const bool calm = game.fill[player] < CalmFill && game.pendingAttack[player] < PressingAttack &&
                      game.frame - game.lastClearFrame[player] >= RecentClearFrames;
    if (game.currentPiece[player] == nullptr || timeGetTime() - releaseTimes[player] > ReleaseTimeout || calm) {
        NextPiece(game, player);
        releaseTimes[player] = timeGetTime();
    }
}

// The last block of the piece's colour on the player's side.
b2Body* FindTarget(const Game& game, int32_t player)
{
    const b2Body* piece = game.currentPiece[player];
    const int64_t colour = KindOf(piece) & 0xFF;
    b2Body* target = nullptr;
    for (b2Body* block : game.blocks) {
        if (block != piece && (KindOf(block) & 0xFF) == colour && SideOf(game, block) == player)
            target = block;
    }
    return target;
}

float Towards(float from, float to)
{
    return from > to ? -PieceSpeed : (from < to ? PieceSpeed : 0.0f);
}
}  // namespace

void SteerPieces(Game& game)
{
    for (int32_t player = 0; player < 2; ++player) {
        if (game.cpuControlled[player] || (player == 1 && game.mode == 2))
            continue;
        if (GameSettings.controllerMode[player] == -2)
            SteerByMouse(game, player);
        else
            SteerByKeys(game, player);
    }
}

void SteerCpuPiece(Game& game, int32_t player)
{
    DecideRelease(game, player);
    b2Body* piece = game.currentPiece[player];
    if (piece == nullptr)
        return;
    const b2Body* target = FindTarget(game, player);
    if (target == nullptr) {
        NextPiece(game, player);
        return;
    }
    const b2Vec2 from = piece->GetPosition();
    const b2Vec2 to = target->GetPosition();
    const float vx = std::fabs(to.x - from.x) > 1.0f ? Towards(from.x, to.x) : 0.0f;
    const float vy = UnderPressure(game, player) ? Towards(from.y, to.y) : 0.0f;
    SetVelocity(piece, vx, vy);
}

void SteerByStick(Game& game, int32_t joystick, int32_t lX, int32_t lY)
{
    const int32_t player = ControlledPlayer(joystick);
    if (player < 0 || !GameSettings.useAxis[player] || game.cpuControlled[player])
        return;
    b2Body* piece = game.currentPiece[player];
    if (piece == nullptr)
        return;
    const float vx = std::abs(lX) > StickDeadZone ? lX / 1000.0f * PieceSpeed : 0.0f;
    const float vy = std::abs(lY) > StickDeadZone ? lY / 1000.0f * -PieceSpeed : 0.0f;
    SetVelocity(piece, vx, vy);
}
