// The Game record's set-up: world, container, assets, high score, fresh match.
#include "game/GameLocal.h"

#include <algorithm>
#include <cmath>

#include "input/Input.h"
#include "render/Render.h"
#include "sound/Sound.h"

Game* CurrentGame = nullptr;

namespace {

const b2Vec2 DividerHome(0.0f, -9.5f);
const b2Vec2 FloorHome(0.0f, -20.0f);

b2Body* CreateContainerBody(b2World& world, b2BodyType type, b2Vec2 position)
{
    b2BodyDef def;
    def.type = type;
    def.position = position;
    return world.CreateBody(&def);
}

// Container pieces: no mass, a little friction, no bounce, kind 0.
void AddContainerShape(b2Body* body, const b2PolygonShape& shape)
{
    b2FixtureDef def;
    def.shape = &shape;
    def.friction = 0.2f;
    def.restitution = 0.0f;
    def.density = 0.0f;
    body->CreateFixture(&def);
}

void AddBox(b2Body* body, float hx, float hy, b2Vec2 centre)
{
    b2PolygonShape shape;
    shape.SetAsBox(hx, hy, centre, 0.0f);
    AddContainerShape(body, shape);
}

void AddTriangle(b2Body* body, b2Vec2 a, b2Vec2 b, b2Vec2 c)
{
    const b2Vec2 vertices[3] = {a, b, c};
    b2PolygonShape shape;
    shape.Set(vertices, 3);
    AddContainerShape(body, shape);
}

// The floor is kinematic rather than static: it is raised by a velocity that
// covers the rise within one step, which carries a pile instead of squeezing it.
void CreateFloor(Game& game)
{
    const bool singlePlayer = game.mode == 2;
    game.floorBody = CreateContainerBody(*game.world, b2_kinematicBody,
                                         singlePlayer ? b2Vec2(-30.0f, -20.0f) : FloorHome);
    if (singlePlayer)
        AddBox(game.floorBody, 50.0f, 50.0f, b2Vec2(-50.0f, -40.0f));  // under the left field only
    else
        AddBox(game.floorBody, 50.0f, 10.0f, b2Vec2(0.0f, 0.0f));
}

void CreateWalls(Game& game)
{
    game.wallBody = CreateContainerBody(*game.world, b2_staticBody, b2Vec2(0.0f, 0.0f));
    AddBox(game.wallBody, 1.0f, 110.0f, b2Vec2(-21.0f, 27.5f));
    AddBox(game.wallBody, 1.0f, 110.0f, b2Vec2(21.0f, 27.5f));
    AddBox(game.wallBody, 40.0f, 1.0f, b2Vec2(0.0f, 30.0f));
    if (game.mode == 2)
        AddBox(game.wallBody, 50.0f, 10.0f, b2Vec2(0.0f, -20.0f));  // the right field's fixed floor
    AddTriangle(game.wallBody, b2Vec2(-20.0f, 29.0f), b2Vec2(-20.0f, 24.0f), b2Vec2(-10.0f, 29.0f));
    AddTriangle(game.wallBody, b2Vec2(10.0f, 29.0f), b2Vec2(20.0f, 24.0f), b2Vec2(20.0f, 29.0f));
}

void CreateDivider(Game& game)
{
    game.dividerBody = CreateContainerBody(*game.world, b2_staticBody, DividerHome);
    AddBox(game.dividerBody, 3.5f, 19.5f, b2Vec2(0.0f, 9.75f));
}

void CreateWorld(Game& game)
{
    game.world = std::make_unique<b2World>(b2Vec2(0.0f, -40.0f));
    game.world->SetAllowSleeping(false);  // a rising floor must lift resting piles
    CreateFloor(game);
    CreateWalls(game);
    CreateDivider(game);
    game.contactListener = std::make_unique<MyContactListener>();
    game.world->SetContactListener(game.contactListener.get());
}

void LoadAssets(Game& game)
{
    game.bubbleTexture = LoadTexture("bubble.dds");
    game.specialTexture = LoadTexture("special.png");
    game.maskTexture = LoadTexture("mask.bmp");
    game.music = LoadSound("Inorganic substance.mp3");
    game.bombSound = LoadSound("bomb.wav");
    game.selectSound = LoadSound("selSnd.wav");
    game.enterSound = LoadSound("entSnd.wav");
    PlaySound(true, game.music);
}

// What a run starts with; the match itself is ResetMatch's.
void StartRun(Game& game)
{
    game.level = 1;
    game.blinkFrame = 0;
    game.quitFrame = 0;
    game.cpuControlled[0] = game.mode == 3;
    game.cpuControlled[1] = game.mode == 1 || game.mode == 3;
    game.score = 0;
    game.highScore = ReadHighScore("score.dat");
}

void SetDefaultModifiers(Game& game)
{
    game.blastPower = 1;
    game.frameStep = 1;
    game.paused = false;
    game.trianglePieces = false;
    game.specialDrops = true;
    game.skipToFinale = false;
}

// The digit keys 1 to 5 held while a match is entered change its rules; the
// single-player mode keeps its rules for the high score's sake.
void ApplyStartUpKeys(Game& game)
{
    if (game.mode == 2)
        return;
    if (IsKeyDown('1'))
        game.blastPower = 4;
    if (IsKeyDown('2'))
        game.trianglePieces = true;
    if (IsKeyDown('3'))
        game.specialDrops = false;
    if (IsKeyDown('4'))
        game.frameStep = 2;
    if (IsKeyDown('5'))
        game.skipToFinale = true;
}

void DestroyFromEnd(Game& game, std::vector<b2Body*>& bodies)
{
    while (!bodies.empty()) {
        game.world->DestroyBody(bodies.back());
        bodies.pop_back();
    }
}

void DealFirstKinds(Game& game)
{
    for (int k = 0; k < 4; ++k) {
        const int64_t kind = RandomKind();
        game.nextKinds[0][k] = kind;
        game.nextKinds[1][k] = kind;
    }
}

}  // namespace

Game::~Game()
{
    if (CurrentGame == this)
        CurrentGame = nullptr;
}

void Game::Init(int32_t gameMode)
{
    mode = gameMode;
    blocks.reserve(10);
    CreateWorld(*this);
    LoadAssets(*this);
    CurrentGame = this;
    ResetMatch(*this);
    StartRun(*this);
    SetDefaultModifiers(*this);
    ApplyStartUpKeys(*this);
}

void ResetMatch(Game& game)
{
    DestroyFromEnd(game, game.blocks);
    DestroyFromEnd(game, game.doomed);
    game.fragmentSpawns[0].clear();
    game.fragmentSpawns[1].clear();
    game.bombs.clear();  // a bomb entry must never outlive its block
    game.currentPiece[0] = game.currentPiece[1] = nullptr;
    std::fill(std::begin(game.chainCleared), std::end(game.chainCleared), 0u);
    std::fill(std::begin(game.lastClearFrame), std::end(game.lastClearFrame), 0u);
    game.dividerBody->SetTransform(DividerHome, 0.0f);
    std::fill(std::begin(game.pendingAttack), std::end(game.pendingAttack), 0);
    game.floorBody->SetTransform(FloorHome, 0.0f);
    game.floorBody->SetLinearVelocity(b2Vec2(0.0f, 0.0f));  // a rise in progress ends with the match
    game.frame = 0;
    game.gameOverFrame = 0;
    game.sharedKinds[0].clear();
    game.sharedKinds[1].clear();
    DealFirstKinds(game);
    std::fill(std::begin(game.fill), std::end(game.fill), 0.0f);
    std::fill(std::begin(game.chainHits), std::end(game.chainHits), 0);
    std::fill(std::begin(game.chainColours), std::end(game.chainColours), 0u);
    std::fill(std::begin(game.lastChainSize), std::end(game.lastChainSize), 0);
    game.resultsShown = false;
}

int32_t SideOf(const Game& game, float x)
{
    return game.dividerBody->GetPosition().x >= x ? 0 : 1;
}

int32_t SideOf(const Game& game, const b2Body* body)
{
    return SideOf(game, body->GetPosition().x);
}

// Box2D hands out user data only through non-const references.
int64_t KindOf(const b2Body* body)
{
    b2Fixture* fixture = const_cast<b2Body*>(body)->GetFixtureList();
    return static_cast<int64_t>(fixture->GetUserData().pointer);
}

void SetKind(b2Body* body, int64_t kind)
{
    body->GetFixtureList()->GetUserData().pointer = static_cast<uintptr_t>(kind);
}

float SweepRadius(const b2Body* body)
{
    const auto* polygon = static_cast<const b2PolygonShape*>(body->GetFixtureList()->GetShape());
    const b2Vec2 centre = body->GetLocalCenter();
    float radius = 0.0f;
    for (int32 i = 0; i < polygon->m_count; ++i)
        radius = std::max(radius, b2Distance(centre, polygon->m_vertices[i]));
    return radius;
}
