// The Game scene: its record, the match rules that run on its physics world,
// the steering of the pieces and the scene's commands.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include <box2d/box2d.h>
#include <glm/glm.hpp>

#include "shell/Shell.h"

// ---------------------------------------------------------------------------
// Block kinds: the low byte is the colour (1-4 colours, 5 grey, 0 none), flags
// above it mark special blocks. A block's kind is its one fixture's user data.

constexpr int64_t PaintFlag = 0x100;
constexpr int64_t BombFlag = 0x200;
constexpr int64_t TimerFlag = 0x400;
constexpr int64_t GreyKind = 5;

constexpr float PieceSpeed = 40.0f;       // steering speed, and the speed a clear needs
constexpr uint32_t PlayStartFrame = 300;  // first pieces
constexpr float FillLimit = 80.0f;        // a field this full loses

struct TimedBomb {
    int32_t framesLeft;
    b2Body* body;
};

// One spark: moves and ages in the drawing, once per drawn frame.
struct Particle {
    glm::vec3 position;
    glm::vec3 velocity;  // world units per frame
    uint32_t life;       // frames left, 20 at birth
    uint32_t colour;     // ARGB
};

// Hands every new contact point of the world to OnContactAdded.
class MyContactListener : public b2ContactListener {
public:
    void PreSolve(b2Contact* contact, const b2Manifold* oldManifold) override;
};

class Game : public Scene {
public:
    Game() = default;
    ~Game() override;

    void Init(int32_t mode) override;
    void Draw() override;
    void Update() override;
    void HandleMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    // Arrays of two are indexed by player or side: 0 the left field, 1 the right.
    std::unique_ptr<b2World> world;
    b2Body* floorBody = nullptr;
    b2Body* wallBody = nullptr;
    b2Body* dividerBody = nullptr;
    std::vector<b2Body*> blocks;  // every live block, the steered pieces included, in creation order
    std::vector<TimedBomb> bombs;
    std::vector<b2Vec2> fragmentSpawns[2];
    b2Body* currentPiece[2] = {nullptr, nullptr};
    std::unique_ptr<MyContactListener> contactListener;
    std::vector<b2Body*> doomed;  // out of play, destroyed after the physics step
    int32_t chainHits[2] = {0, 0};
    uint32_t chainCleared[2] = {0, 0};
    uint32_t chainColours[2] = {0, 0};
    uint32_t lastClearFrame[2] = {0, 0};
    int32_t bubbleTexture = -1;
    int32_t specialTexture = -1;
    int32_t maskTexture = -1;
    std::vector<Particle> particles;
    int32_t bombSound = -1;
    int32_t music = -1;
    int32_t pendingAttack[2] = {0, 0};
    uint32_t lastNextFrame[2] = {0, 0};
    bool cpuControlled[2] = {false, false};
    float fill[2] = {0, 0};
    uint32_t frame = 0;
    uint32_t gameOverFrame = 0;
    int32_t mode = 0;
    int32_t level = 0;
    uint32_t quitFrame = 0;
    uint32_t blinkFrame = 0;
    int64_t nextKinds[2][4] = {};
    bool paused = false;
    uint32_t score = 0;
    uint32_t highScore = 0;
    int32_t lastChainSize[2] = {0, 0};
    bool resultsShown = false;
    int32_t blastPower = 0;
    bool trianglePieces = false;
    int32_t menuCursor = 0;  // 0 "RETURN TO MAIN MENU", 1 "RETRY", 2 "CONTINUE"
    std::deque<uint8_t> sharedKinds[2];
    int32_t selectSound = -1;
    int32_t enterSound = -1;
    bool specialDrops = false;
    int32_t frameStep = 0;
    bool skipToFinale = false;
};

// The Game initialised last; the contact handler reaches the game through it.
extern Game* CurrentGame;

// ---------------------------------------------------------------------------
// Set-up and the side rule.

// Puts the field back into the state of a fresh match.
void ResetMatch(Game& game);
// 0 when the divider's x is at or right of x, else 1.
int32_t SideOf(const Game& game, float x);
int32_t SideOf(const Game& game, const b2Body* body);
// A block's kind (its fixture's user data) and its replacement.
int64_t KindOf(const b2Body* body);
void SetKind(b2Body* body, int64_t kind);
// Largest distance from the body's centre of mass to a vertex: over 2 for a big block.
float SweepRadius(const b2Body* body);
// The high score file.
uint32_t ReadHighScore(const char* path);
// Writes the score whole or not at all (temporary file renamed over the old one).
bool WriteHighScore(const char* path, uint32_t score);

// ---------------------------------------------------------------------------
// Blocks and pieces.

b2Body* CreateBlock(Game& game, int64_t kind, float density, float halfSize, float angle, float x, float y);
// Player p asks for the next piece: releases the old one, settles, delivers attacks.
void NextPiece(Game& game, int32_t player);
// Drops count grey blocks: field 1 is the left field, field 0 the right.
void DropGarbage(Game& game, int32_t count, int32_t field, float halfSize);
// Destroys the bodies in doomed (after the physics step).
void FlushDoomedBodies(Game& game);
// A random piece kind, 1 to 4 (5 only for the draw 32767).
int64_t RandomKind();

// ---------------------------------------------------------------------------
// Contacts, chains, blasts, sparks.

// A new contact point of the world, with its two fixtures and its world position.
void OnContactAdded(b2Fixture* fixtureA, b2Fixture* fixtureB, b2Vec2 point);
void ApplyBlast(Game& game, float cx, float cy, float strength, float falloff, b2Body* body, int64_t sourceKind);
void BlastAll(Game& game, float cx, float cy, float strength, float falloff, int64_t sourceKind);
void SettleChain(Game& game, int32_t player);
void CancelAttacks(Game& game);
// The attack SettleChain would add now for the side's running chain.
uint32_t AttackPreview(const Game& game, int32_t player);
// Adds effectNum sparks of BlockColours[kind] at (x, y).
void SpawnSparks(Game& game, int32_t kind, float x, float y);

// ---------------------------------------------------------------------------
// Special drops, bombs and fragments; fill and match end.

void SpawnGreyFragments(Game& game);
void TrySpecialDrop(Game& game);
void BurnBombs(Game& game);
void UpdateFill(Game& game);
void StepMatchEnd(Game& game);

// ---------------------------------------------------------------------------
// Steering and commands.

void SteerPieces(Game& game);
void SteerCpuPiece(Game& game, int32_t player);
// The stick steering of the joystick-state message.
void SteerByStick(Game& game, int32_t joystick, int32_t lX, int32_t lY);
void ConfirmMenuChoice(Game& game);
// NEXT or a left click: ends the opening, or cuts the leaving delay short.
void SkipAction(Game& game);
