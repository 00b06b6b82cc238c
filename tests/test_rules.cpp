// The match rules on a real physics world, headless, with scripted random draws.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "game/Game.h"
#include "game/GameLocal.h"
#include "input/Input.h"
#include "render/Render.h"

namespace fs = std::filesystem;

namespace {

std::deque<int32_t> scriptedDraws;
int32_t drawsTaken = 0;

// Scripted values first, then a fixed middle value.
int32_t ScriptedRand()
{
    ++drawsTaken;
    if (scriptedDraws.empty())
        return 16383;
    const int32_t r = scriptedDraws.front();
    scriptedDraws.pop_front();
    return r;
}

void Script(const std::vector<int32_t>& draws)
{
    scriptedDraws.assign(draws.begin(), draws.end());
    drawsTaken = 0;
}

const b2PolygonShape& PolygonOf(const b2Body* body)
{
    return *static_cast<const b2PolygonShape*>(body->GetFixtureList()->GetShape());
}

std::vector<b2Vec2> WorldVertices(const b2Body* body)
{
    const b2PolygonShape& shape = PolygonOf(body);
    std::vector<b2Vec2> vertices;
    for (int32 i = 0; i < shape.m_count; ++i)
        vertices.push_back(body->GetWorldPoint(shape.m_vertices[i]));
    return vertices;
}

// Lowest and highest world x and y over every fixture of a body.
struct Extent {
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
};

Extent FixtureExtent(const b2Body* body, const b2Fixture* fixture)
{
    Extent e;
    const auto* shape = static_cast<const b2PolygonShape*>(fixture->GetShape());
    for (int32 i = 0; i < shape->m_count; ++i) {
        const b2Vec2 v = body->GetWorldPoint(shape->m_vertices[i]);
        e.minX = std::min(e.minX, v.x);
        e.maxX = std::max(e.maxX, v.x);
        e.minY = std::min(e.minY, v.y);
        e.maxY = std::max(e.maxY, v.y);
    }
    return e;
}

int FixtureCount(const b2Body* body)
{
    int n = 0;
    for (const b2Fixture* f = body->GetFixtureList(); f; f = f->GetNext())
        ++n;
    return n;
}

bool Listed(const Game& game, const b2Body* body)
{
    return std::find(game.blocks.begin(), game.blocks.end(), body) != game.blocks.end();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path) << content;
}

class RulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/mirelune-rules-XXXXXX";
        directory = mkdtemp(pattern);
        previous = fs::current_path();
        fs::current_path(directory);
        GameSettings = DefaultGameSettings();
        RandomSource = ScriptedRand;
        Script({});
        ClearKeyStates();
    }

    void TearDown() override
    {
        game.reset();
        RandomSource = nullptr;
        ClearKeyStates();
        fs::current_path(previous);
        fs::remove_all(directory);
    }

    Game& Start(int32_t mode)
    {
        game = std::make_unique<Game>();
        game->Init(mode);
        return *game;
    }

    // What the frame update does around the physics, without the rest of it.
    void StepWorld(int frames)
    {
        for (int i = 0; i < frames; ++i) {
            game->world->Step(1.0f / 60.0f, 10, 10);
            FlushDoomedBodies(*game);
        }
    }

    int CountGrey(bool big, float x)
    {
        int n = 0;
        for (const b2Body* b : game->blocks) {
            if (KindOf(b) == GreyKind && (SweepRadius(b) > 2.0f) == big && b->GetPosition().x == x)
                ++n;
        }
        return n;
    }

    fs::path directory;
    fs::path previous;
    std::unique_ptr<Game> game;
};

// ---------------------------------------------------------------------------
// Set-up

struct ContainerCase {
    int32_t mode;
    bool cpu0, cpu1;
    int wallShapes;
    float floorMinX, floorMaxX;
};

TEST_F(RulesTest, InitBuildsTheContainerOfEachMode)
{
    const ContainerCase cases[] = {
        {0, false, false, 5, -50, 50},
        {1, false, true, 5, -50, 50},
        {2, false, false, 6, -100, 0},
        {3, true, true, 5, -50, 50},
    };
    for (const ContainerCase& c : cases) {
        SCOPED_TRACE(c.mode);
        Game& g = Start(c.mode);
        EXPECT_EQ(CurrentGame, &g);
        EXPECT_EQ(g.world->GetGravity(), b2Vec2(0.0f, -40.0f));
        EXPECT_FALSE(g.world->GetAllowSleeping());
        EXPECT_EQ(g.cpuControlled[0], c.cpu0);
        EXPECT_EQ(g.cpuControlled[1], c.cpu1);

        EXPECT_EQ(g.floorBody->GetType(), b2_kinematicBody);
        EXPECT_EQ(g.floorBody->GetPosition(), b2Vec2(0.0f, -20.0f));
        const Extent floor = FixtureExtent(g.floorBody, g.floorBody->GetFixtureList());
        EXPECT_FLOAT_EQ(floor.maxY, -10.0f);
        EXPECT_FLOAT_EQ(floor.minX, c.floorMinX);
        EXPECT_FLOAT_EQ(floor.maxX, c.floorMaxX);

        EXPECT_EQ(FixtureCount(g.wallBody), c.wallShapes);
        const b2Fixture* leftWall = g.wallBody->GetFixtureList();
        for (int i = 1; i < c.wallShapes; ++i)
            leftWall = leftWall->GetNext();  // 2.4 keeps fixtures newest first
        EXPECT_FLOAT_EQ(FixtureExtent(g.wallBody, leftWall).maxX, -20.0f);

        const Extent divider = FixtureExtent(g.dividerBody, g.dividerBody->GetFixtureList());
        EXPECT_FLOAT_EQ(divider.minX, -3.5f);
        EXPECT_FLOAT_EQ(divider.maxX, 3.5f);
        EXPECT_FLOAT_EQ(divider.maxY, 19.75f);
        EXPECT_EQ(SideOf(g, 0.0f), 0);
        EXPECT_EQ(SideOf(g, 0.001f), 1);
        EXPECT_EQ(g.level, 1);
        EXPECT_EQ(g.highScore, 0u);
    }
}

struct StartUpCase {
    int32_t mode;
    std::vector<int32_t> keys;
    int32_t blastPower;
    bool triangles, specialDrops;
    int32_t frameStep;
    bool skipToFinale;
};

TEST_F(RulesTest, StartUpKeysOutsideSinglePlayer)
{
    const StartUpCase cases[] = {
        {0, {}, 1, false, true, 1, false},
        {0, {'1'}, 4, false, true, 1, false},
        {1, {'2', '4'}, 1, true, true, 2, false},
        {3, {'3', '5'}, 1, false, false, 1, true},
        {2, {'1', '2', '3', '4', '5'}, 1, false, true, 1, false},
    };
    for (const StartUpCase& c : cases) {
        SCOPED_TRACE(c.mode);
        ClearKeyStates();
        for (int32_t key : c.keys)
            SetKeyDown(key, true);
        const Game& g = Start(c.mode);
        EXPECT_EQ(g.blastPower, c.blastPower);
        EXPECT_EQ(g.trianglePieces, c.triangles);
        EXPECT_EQ(g.specialDrops, c.specialDrops);
        EXPECT_EQ(g.frameStep, c.frameStep);
        EXPECT_EQ(g.skipToFinale, c.skipToFinale);
    }
}

TEST_F(RulesTest, ResetMatchClearsTheFieldAndDealsBothPlayersTheSameKinds)
{
    Script({0, 16383, 32766, 32767});
    Game& g = Start(0);
    const int64_t expected[4] = {1, 2, 4, 5};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(g.nextKinds[0][k], expected[k]);
        EXPECT_EQ(g.nextKinds[1][k], expected[k]);
    }

    g.frame = 500;
    NextPiece(g, 0);
    b2Body* bomb = CreateBlock(g, TimerFlag, 2, 1, 0, 0, 28);
    g.bombs.push_back({100, bomb});
    b2Body* doomed = CreateBlock(g, 1, 2, 1, 0, 5, 5);
    g.blocks.pop_back();
    g.doomed.push_back(doomed);
    g.fragmentSpawns[1].push_back(b2Vec2(1, 1));
    g.chainCleared[0] = 4;
    g.chainHits[1] = 2;
    g.pendingAttack[1] = 9;
    g.fill[0] = 50;
    g.resultsShown = true;
    g.score = 1234;
    g.level = 3;
    g.floorBody->SetTransform(b2Vec2(0, -15), 0);
    g.floorBody->SetLinearVelocity(b2Vec2(0, 0.65f));
    g.sharedKinds[0].push_back(3);

    Script({8192, 8192, 8192, 8192});
    ResetMatch(g);
    EXPECT_TRUE(g.blocks.empty());
    EXPECT_TRUE(g.doomed.empty());
    EXPECT_TRUE(g.bombs.empty());
    EXPECT_TRUE(g.fragmentSpawns[1].empty());
    EXPECT_TRUE(g.sharedKinds[0].empty());
    EXPECT_EQ(g.world->GetBodyCount(), 3);  // floor, walls, divider
    EXPECT_EQ(g.currentPiece[0], nullptr);
    EXPECT_EQ(g.chainCleared[0], 0u);
    EXPECT_EQ(g.chainHits[1], 0);
    EXPECT_EQ(g.pendingAttack[1], 0);
    EXPECT_EQ(g.fill[0], 0.0f);
    EXPECT_FALSE(g.resultsShown);
    EXPECT_EQ(g.frame, 0u);
    EXPECT_EQ(g.floorBody->GetPosition(), b2Vec2(0, -20));
    EXPECT_EQ(g.floorBody->GetLinearVelocity(), b2Vec2(0, 0));
    EXPECT_EQ(g.nextKinds[0][3], 2);
    EXPECT_EQ(g.nextKinds[1][0], 2);
    EXPECT_EQ(g.score, 1234u);  // the callers decide about score and level
    EXPECT_EQ(g.level, 3);
    EXPECT_EQ(g.lastNextFrame[0], 500u);
}

// ---------------------------------------------------------------------------
// The high score file

TEST_F(RulesTest, HighScoreReadsLikePercentD)
{
    const struct {
        const char* content;
        uint32_t value;
    } cases[] = {
        {"  123abc", 123},
        {"", 0},
        {"abc", 0},
        {"\n\t42\n", 42},
        {"+7", 7},
        {"-", 0},
        {"0005000", 5000},
        {"-1", 0xFFFFFFFFu},
        {"-2147483648", 0x80000000u},
        {"-2147483649", 0},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0},
        {"99999999999999999999999", 0},
        {"18446744073709551621", 0},  // 2^64 + 5 must not wrap to 5
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        WriteFile("score.dat", c.content);
        EXPECT_EQ(ReadHighScore("score.dat"), c.value);
    }
    fs::remove("score.dat");
    EXPECT_EQ(ReadHighScore("score.dat"), 0u);
}

TEST_F(RulesTest, InitReadsScoreDatFromTheWorkingDirectory)
{
    WriteFile("score.dat", "  123abc");
    EXPECT_EQ(Start(2).highScore, 123u);
}

TEST_F(RulesTest, WriteHighScoreReplacesTheRecordWhole)
{
    WriteFile("score.dat", "999999");
    EXPECT_TRUE(WriteHighScore("score.dat", 5000));
    EXPECT_EQ(ReadFile("score.dat"), "5000");
    EXPECT_TRUE(WriteHighScore("score.dat", 3000000000u));
    EXPECT_EQ(ReadFile("score.dat"), "-1294967296");
    EXPECT_EQ(ReadHighScore("score.dat"), 3000000000u);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(RulesTest, AFailedHighScoreWriteKeepsTheOldRecord)
{
    WriteFile("score.dat", "4000");
    fs::create_directory("score.dat.tmp");  // the temporary file cannot be made
    EXPECT_FALSE(WriteHighScore("score.dat", 5000));
    EXPECT_EQ(ReadFile("score.dat"), "4000");
}

// ---------------------------------------------------------------------------
// Blocks and pieces

TEST_F(RulesTest, CreateBlockMakesSquaresAndTriangles)
{
    const struct {
        bool triangles;
        float halfSize, angle;
        float minSweep, maxSweep;
    } cases[] = {
        {false, 1, 0, 1.41f, 1.42f},
        {false, 1, 0.7f, 1.41f, 1.42f},
        {false, 2, 2.0f, 2.82f, 2.83f},
        {true, 1, 0.7f, 1.7f, 1.8f},
        {true, 2, 0, 3.4f, 3.6f},
    };
    Game& g = Start(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.triangles << " " << c.halfSize << " " << c.angle);
        g.trianglePieces = c.triangles;
        b2Body* b = CreateBlock(g, 3 | PaintFlag, 2, c.halfSize, c.angle, -7, 4);
        ASSERT_EQ(g.blocks.back(), b);
        EXPECT_EQ(KindOf(b), 3 | PaintFlag);
        EXPECT_EQ(b->GetType(), b2_dynamicBody);
        EXPECT_EQ(b->GetPosition(), b2Vec2(-7, 4));
        EXPECT_EQ(b->GetAngle(), 0.0f);
        EXPECT_FLOAT_EQ(b->GetLinearDamping(), 0.9f);
        EXPECT_FLOAT_EQ(b->GetAngularDamping(), 0.9f);
        const b2Fixture* f = b->GetFixtureList();
        EXPECT_FLOAT_EQ(f->GetFriction(), 0.3f);
        EXPECT_FLOAT_EQ(f->GetRestitution(), 0.3f);
        EXPECT_FLOAT_EQ(f->GetDensity(), 2.0f);
        EXPECT_NEAR(b->GetMass(), 2.0f * 4.0f * c.halfSize * c.halfSize, 1e-3);  // same area both ways
        EXPECT_GT(SweepRadius(b), c.minSweep);
        EXPECT_LT(SweepRadius(b), c.maxSweep);
        const b2PolygonShape& shape = PolygonOf(b);
        if (c.triangles) {
            ASSERT_EQ(shape.m_count, 3);
            const b2Vec2 expected[3] = {{0, 1.6494074f}, {-1.5196713f, -0.9827407f}, {1.5196713f, -0.9827407f}};
            for (const b2Vec2& e : expected) {
                const bool found = std::any_of(shape.m_vertices, shape.m_vertices + 3, [&](const b2Vec2& v) {
                    return b2Distance(v, c.halfSize * e) < 1e-5f;
                });
                EXPECT_TRUE(found) << e.x << "," << e.y;
            }
        } else {
            ASSERT_EQ(shape.m_count, 4);
            const b2Vec2 corner = b2Mul(b2Rot(c.angle), b2Vec2(-c.halfSize, -c.halfSize));
            EXPECT_NEAR(shape.m_vertices[0].x, corner.x, 1e-5);
            EXPECT_NEAR(shape.m_vertices[0].y, corner.y, 1e-5);
        }
    }
}

TEST_F(RulesTest, NextPieceIgnoresRequestsWithin30Frames)
{
    Game& g = Start(0);
    g.frame = 300;
    NextPiece(g, 0);
    b2Body* first = g.currentPiece[0];
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetPosition(), b2Vec2(-10, 25));
    EXPECT_FLOAT_EQ(first->GetFixtureList()->GetDensity(), 0.1f);

    g.frame = 329;
    NextPiece(g, 0);
    EXPECT_EQ(g.blocks, std::vector<b2Body*>{first});
    EXPECT_EQ(g.lastNextFrame[0], 300u);

    g.frame = 330;
    NextPiece(g, 0);
    EXPECT_EQ(g.blocks.size(), 2u);  // released block and new piece
    EXPECT_EQ(g.lastNextFrame[0], 330u);
}

TEST_F(RulesTest, NextPieceWithoutAPieceComesAtOnceAndSettlesNothing)
{
    Game& g = Start(0);
    g.frame = 300;
    NextPiece(g, 1);
    b2Body* piece = g.currentPiece[1];
    EXPECT_EQ(piece->GetPosition(), b2Vec2(10, 25));
    g.blocks.erase(std::find(g.blocks.begin(), g.blocks.end(), piece));  // cleared by a match
    g.doomed.push_back(piece);
    FlushDoomedBodies(g);
    ASSERT_EQ(g.currentPiece[1], nullptr);

    g.chainCleared[1] = 5;
    g.pendingAttack[0] = 12;
    const int64_t kind = g.nextKinds[1][0];
    g.frame = 301;
    NextPiece(g, 1);
    ASSERT_NE(g.currentPiece[1], nullptr);
    EXPECT_EQ(KindOf(g.currentPiece[1]), kind);
    EXPECT_EQ(g.chainCleared[1], 5u);
    EXPECT_EQ(g.pendingAttack[0], 12);
    EXPECT_EQ(g.blocks.size(), 1u);
}

TEST_F(RulesTest, TheReleasedBlockKeepsThePiecesPlaceAndTurnAtRest)
{
    Game& g = Start(0);
    g.frame = 300;
    NextPiece(g, 0);
    b2Body* piece = g.currentPiece[0];
    const int64_t kind = KindOf(piece);
    piece->SetTransform(b2Vec2(-8, 12), 0.7f);
    piece->SetLinearVelocity(b2Vec2(30, -10));
    piece->SetAngularVelocity(3);
    const std::vector<b2Vec2> before = WorldVertices(piece);

    g.frame = 400;
    NextPiece(g, 0);
    ASSERT_EQ(g.blocks.size(), 2u);
    b2Body* released = g.blocks[0];
    EXPECT_EQ(g.blocks[1], g.currentPiece[0]);
    EXPECT_EQ(KindOf(released), kind);
    EXPECT_EQ(released->GetPosition(), b2Vec2(-8, 12));
    EXPECT_EQ(released->GetLinearVelocity(), b2Vec2(0, 0));
    EXPECT_EQ(released->GetAngularVelocity(), 0.0f);
    EXPECT_FLOAT_EQ(released->GetFixtureList()->GetDensity(), 2.0f);
    const std::vector<b2Vec2> after = WorldVertices(released);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_LT(b2Distance(after[i], before[i]), 1e-5f);
    EXPECT_EQ(g.world->GetBodyCount(), 5);  // the old piece left the world at once
}

TEST_F(RulesTest, NextPieceDeliversTheOwedAttack)
{
    const struct {
        int32_t mode;
        int32_t pending0, pending1;
        int count;
        bool big;
        float x;
    } cases[] = {
        {0, 5, 12, 7, false, -10},
        {0, 0, 33, 8, true, -10},
        {0, 0, 200, 30, true, -10},
        {0, 0, 32, 32, false, -10},
        {2, 150, 0, 37, true, 10},
        {2, 200, 0, 40, true, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << ": " << c.pending0 << ", " << c.pending1);
        Game& g = Start(c.mode);
        g.frame = 300;
        NextPiece(g, 0);
        g.frame = 400;
        g.pendingAttack[0] = c.pending0;
        g.pendingAttack[1] = c.pending1;
        NextPiece(g, 0);
        EXPECT_EQ(g.pendingAttack[0], 0);
        EXPECT_EQ(g.pendingAttack[1], 0);
        EXPECT_EQ(CountGrey(c.big, c.x), c.count);
        EXPECT_EQ(g.blocks.size(), static_cast<size_t>(c.count) + 2);
    }
}

TEST_F(RulesTest, BothPlayersAreDealtTheSameKinds)
{
    Script({0, 8192, 16384, 24576, 32766, 0, 8192, 16384, 24576, 32766, 0});
    Game& g = Start(0);
    std::vector<int64_t> dealt[2];
    const int32_t order[] = {0, 0, 0, 1, 0, 1, 1, 1, 1, 0};
    for (int32_t player : order) {
        g.frame += 30;
        NextPiece(g, player);
        dealt[player].push_back(KindOf(g.currentPiece[player]));
    }
    EXPECT_EQ(dealt[0], (std::vector<int64_t>{1, 2, 3, 4, 4}));
    EXPECT_EQ(dealt[1], (std::vector<int64_t>{1, 2, 3, 4, 4}));
    EXPECT_EQ(drawsTaken, 4 + 5);  // the first four, then one draw per kind

    // Player 1 with two kinds waiting takes the older one and draws nothing.
    g.sharedKinds[1].assign({3, 2});
    const int32_t draws = drawsTaken;
    g.frame += 30;
    NextPiece(g, 1);
    EXPECT_EQ(g.nextKinds[1][3], 3);
    EXPECT_EQ(g.sharedKinds[1].size(), 1u);
    EXPECT_EQ(drawsTaken, draws);
}

TEST_F(RulesTest, SinglePlayerSharesNoKinds)
{
    Game& g = Start(2);
    g.frame = 300;
    NextPiece(g, 0);
    g.frame = 330;
    NextPiece(g, 0);
    EXPECT_TRUE(g.sharedKinds[1].empty());
}

TEST_F(RulesTest, DropGarbageFallsIntoTheFieldAtRandomAngles)
{
    Game& g = Start(0);
    Script({0, 32767});
    DropGarbage(g, 2, 1, 1.0f);
    DropGarbage(g, 0, 0, 1.0f);
    DropGarbage(g, -3, 0, 1.0f);
    ASSERT_EQ(g.blocks.size(), 2u);
    EXPECT_EQ(drawsTaken, 2);
    for (const b2Body* b : g.blocks) {
        EXPECT_EQ(b->GetPosition(), b2Vec2(-10, 25));
        const b2Vec2 corner = PolygonOf(b).m_vertices[0];  // (-1, -1) turned by the angle
        EXPECT_NEAR(corner.x, -1.0f, 1e-5);
        EXPECT_NEAR(corner.y, -1.0f, 1e-5);
    }
    g.dividerBody->SetTransform(b2Vec2(2, -9.5f), 0);
    DropGarbage(g, 1, 0, 2.0f);
    EXPECT_EQ(g.blocks.back()->GetPosition(), b2Vec2(11, 25));
    EXPECT_GT(SweepRadius(g.blocks.back()), 2.0f);
}

TEST_F(RulesTest, FlushingADoomedBodyDropsItsPieceAndBombEntries)
{
    Game& g = Start(0);
    g.frame = 300;
    NextPiece(g, 0);
    b2Body* piece = g.currentPiece[0];
    b2Body* bomb = CreateBlock(g, TimerFlag, 2, 1, 0, 0, 28);
    b2Body* otherBomb = CreateBlock(g, TimerFlag, 2, 1, 0, 5, 28);
    g.bombs = {{10, bomb}, {20, otherBomb}};
    g.blocks = {otherBomb};
    g.doomed = {piece, bomb};
    FlushDoomedBodies(g);
    EXPECT_EQ(g.currentPiece[0], nullptr);
    ASSERT_EQ(g.bombs.size(), 1u);
    EXPECT_EQ(g.bombs[0].body, otherBomb);
    EXPECT_TRUE(g.doomed.empty());
    EXPECT_EQ(g.world->GetBodyCount(), 4);
}

// ---------------------------------------------------------------------------
// Contacts

TEST_F(RulesTest, AFastBlockClearsARestingBlockOfItsColour)
{
    const struct {
        bool piece;
        float speed;
        bool cleared;
    } cases[] = {
        {true, 40.0f, true},
        {true, 39.9f, false},
        {false, 45.0f, true},
        {false, 39.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.piece << " " << c.speed);
        Game& g = Start(0);
        b2Body* resting = CreateBlock(g, 1, 2, 1, 0, -10, -9);
        b2Body* witness = CreateBlock(g, 2, 2, 1, 0, -15, -9);
        StepWorld(30);
        g.frame = 500;
        b2Body* mover = CreateBlock(g, 1, c.piece ? 0.1f : 2.0f, 1, 0, -10, -6.5f);
        if (c.piece)
            g.currentPiece[0] = mover;
        for (int i = 0; i < 20 && Listed(g, mover); ++i) {
            mover->SetLinearVelocity(b2Vec2(0, -c.speed));
            StepWorld(1);
        }
        EXPECT_EQ(!Listed(g, mover), c.cleared);
        EXPECT_EQ(!Listed(g, resting), c.cleared);
        EXPECT_EQ(g.chainCleared[0], c.cleared ? 2u : 0u);
        EXPECT_EQ(g.chainColours[0], c.cleared ? 2u : 0u);
        EXPECT_EQ(g.lastClearFrame[0], c.cleared ? 500u : 0u);
        // A flat landing makes two contact points: the second finds both
        // blocks gone but still counts a hit.
        EXPECT_EQ(g.chainHits[0], c.cleared && c.piece ? 2 : 0);
        EXPECT_EQ(g.particles.size(), c.cleared ? 16u : 0u);
        if (c.cleared && c.piece) {
            EXPECT_EQ(g.currentPiece[0], nullptr);
            EXPECT_GT(witness->GetLinearVelocity().Length(), 5.0f);  // the piece's blast
        } else {
            EXPECT_LT(witness->GetLinearVelocity().Length(), 1.0f);
        }
    }
}

TEST_F(RulesTest, DifferentColoursGreyAndUncolouredDoNothing)
{
    const struct {
        int64_t kindA, kindB;
    } cases[] = {{1, 2}, {3, 5}, {5, 5}, {5 | PaintFlag, 5}, {TimerFlag, TimerFlag}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kindA << " " << c.kindB);
        Game& g = Start(0);
        b2Body* a = CreateBlock(g, c.kindA, 2, 1, 0, -10, 0);
        b2Body* b = CreateBlock(g, c.kindB, 2, 1, 0, -10, 2);
        b2Body* grey = CreateBlock(g, GreyKind, 2, 1, 0, -12, 1);
        a->SetLinearVelocity(b2Vec2(0, 80));
        g.currentPiece[0] = a;
        OnContactAdded(a->GetFixtureList(), b->GetFixtureList(), b2Vec2(-10, 1));
        OnContactAdded(a->GetFixtureList(), g.floorBody->GetFixtureList(), b2Vec2(-10, -1));
        EXPECT_EQ(g.blocks.size(), 3u);
        EXPECT_TRUE(g.doomed.empty());
        EXPECT_TRUE(g.particles.empty());
        EXPECT_EQ(g.chainHits[0], 0);
        EXPECT_EQ(KindOf(grey), GreyKind);
        EXPECT_EQ(grey->GetLinearVelocity(), b2Vec2(0, 0));
    }
}

TEST_F(RulesTest, AContactPointAtTheDividersXCountsAsSideZero)
{
    const struct {
        float x;
        int32_t hits0;
    } cases[] = {{0.0f, 1}, {0.001f, 0}, {-0.001f, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        Game& g = Start(0);
        b2Body* piece = CreateBlock(g, 2, 0.1f, 1, 0, -1, 21);
        b2Body* block = CreateBlock(g, 2, 2, 1, 0, 1, 21);
        b2Body* witness = CreateBlock(g, 3, 2, 1, 0, 10, 21);
        g.currentPiece[0] = piece;
        piece->SetLinearVelocity(b2Vec2(40, 0));
        OnContactAdded(piece->GetFixtureList(), block->GetFixtureList(), b2Vec2(c.x, 21));
        EXPECT_EQ(g.chainHits[0], c.hits0);
        EXPECT_EQ(g.chainHits[1], 0);
        EXPECT_EQ(g.chainCleared[0], 1u);  // each block counts on its own side
        EXPECT_EQ(g.chainCleared[1], 1u);
        EXPECT_GT(witness->GetLinearVelocity().x, 0.0f);  // blasted from either side

        // A second point of the same collision finds both gone: no more clears,
        // but another hit and another blast.
        const b2Vec2 pushed = witness->GetLinearVelocity();
        OnContactAdded(piece->GetFixtureList(), block->GetFixtureList(), b2Vec2(c.x, 21));
        EXPECT_EQ(g.chainCleared[0] + g.chainCleared[1], 2u);
        EXPECT_EQ(g.chainHits[0], 2 * c.hits0);
        EXPECT_GT(witness->GetLinearVelocity().x, pushed.x);
    }
}

TEST_F(RulesTest, AColourBombClearsItsColourOnItsSideOnly)
{
    Game& g = Start(0);
    b2Body* bomb = CreateBlock(g, 3 | BombFlag, 2, 1, 0, -10, 0);
    b2Body* hitter = CreateBlock(g, 3, 2, 1, 0, -10, 2.5f);
    b2Body* left1 = CreateBlock(g, 3, 2, 1, 0, -16, -5);
    b2Body* other = CreateBlock(g, 1, 2, 1, 0, -13, 5);
    b2Body* left2 = CreateBlock(g, 3, 2, 1, 0, -6, -5);
    b2Body* right1 = CreateBlock(g, 3, 2, 1, 0, 10, -5);
    b2Body* right2 = CreateBlock(g, 3, 2, 1, 0, 15, -5);
    hitter->SetLinearVelocity(b2Vec2(0, -50));
    OnContactAdded(bomb->GetFixtureList(), hitter->GetFixtureList(), b2Vec2(-10, 1.25f));

    EXPECT_EQ(g.blocks, (std::vector<b2Body*>{other, right1, right2}));
    EXPECT_EQ(g.doomed.size(), 4u);
    for (b2Body* gone : {bomb, hitter, left1, left2})
        EXPECT_NE(std::find(g.doomed.begin(), g.doomed.end(), gone), g.doomed.end());
    EXPECT_EQ(g.chainCleared[0], 4u);
    EXPECT_EQ(g.chainCleared[1], 0u);
    EXPECT_EQ(g.chainColours[0], 1u << 3);
    EXPECT_EQ(g.chainHits[0], 0);
    EXPECT_GT(other->GetLinearVelocity().Length(), 1.0f);  // the blasts of the bomb's clears
    FlushDoomedBodies(g);
    EXPECT_EQ(g.world->GetBodyCount(), 6);
}

TEST_F(RulesTest, PaintColoursTheGreyBlocksOfItsSideOnly)
{
    Game& g = Start(0);
    b2Body* paint = CreateBlock(g, 2 | PaintFlag, 2, 1, 0, 10, 0);
    b2Body* hitter = CreateBlock(g, 2, 2, 1, 0, 10, 2.5f);
    b2Body* rightGrey1 = CreateBlock(g, GreyKind, 2, 1, 0, 6, -5);
    b2Body* rightGrey2 = CreateBlock(g, GreyKind, 2, 2, 0, 15, -5);
    b2Body* leftGrey = CreateBlock(g, GreyKind, 2, 1, 0, -10, -5);
    hitter->SetLinearVelocity(b2Vec2(0, -50));
    OnContactAdded(hitter->GetFixtureList(), paint->GetFixtureList(), b2Vec2(10, 1.25f));
    EXPECT_EQ(KindOf(rightGrey1), 2);
    EXPECT_EQ(KindOf(rightGrey2), 2);
    EXPECT_EQ(KindOf(leftGrey), GreyKind);
    EXPECT_EQ(g.chainCleared[1], 2u);
    EXPECT_EQ(g.blocks.size(), 3u);
}

// ---------------------------------------------------------------------------
// Blasts and chains

TEST_F(RulesTest, ABlastBreaksTheFirstBlockAndStillPushesTheSecond)
{
    Game& g = Start(0);
    g.frame = 700;
    b2Body* grey = CreateBlock(g, GreyKind, 2, 1, 0, -10, 0);
    b2Body* block = CreateBlock(g, 1, 2, 1, 0, -12, 0);
    BlastAll(g, -10, 2, 10000, 8, 1);
    EXPECT_EQ(g.blocks, std::vector<b2Body*>{block});
    EXPECT_EQ(g.doomed, std::vector<b2Body*>{grey});
    EXPECT_EQ(g.chainCleared[0], 1u);
    EXPECT_EQ(g.lastClearFrame[0], 700u);
    ASSERT_EQ(g.particles.size(), 8u);
    EXPECT_EQ(g.particles[0].colour, BlockColours[5]);
    // d = sqrt 8: a push of 2 S / (1 + 8 d^2) on a body of mass 8, away from the centre.
    const float dv = 2.0f * 10000.0f / 65.0f / 8.0f;
    EXPECT_NEAR(block->GetLinearVelocity().x, -dv / std::sqrt(2.0f), 1e-2);
    EXPECT_NEAR(block->GetLinearVelocity().y, -dv / std::sqrt(2.0f), 1e-2);
}

TEST_F(RulesTest, BlastPowerAndTheBreakingRadius)
{
    const struct {
        int32_t blastPower;
        float distance;
        int64_t source;
        bool breaks;
    } cases[] = {
        {1, 5.99f, 1, true}, {1, 6.0f, 1, false}, {4, 6.0f, 1, false}, {4, 5.99f, 0, true},
        {1, 1.0f, GreyKind, false}, {1, 1.0f, GreyKind | PaintFlag, false}, {1, 0.0f, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.blastPower << " " << c.distance << " " << c.source);
        Game& g = Start(0);
        g.blastPower = c.blastPower;
        b2Body* grey = CreateBlock(g, GreyKind, 2, 1, 0, 8 + c.distance, 0);
        ApplyBlast(g, 8, 0, 1000, 8, grey, c.source);
        EXPECT_EQ(!Listed(g, grey), c.breaks);
        const float push = c.distance > 0 ? 2.0f * 1000 * c.blastPower / (1 + 8 * c.distance * c.distance) / 8 : 0;
        EXPECT_NEAR(grey->GetLinearVelocity().x, push, 1e-4);
        EXPECT_EQ(grey->GetLinearVelocity().y, 0.0f);  // never NaN, also at the centre
    }
}

TEST_F(RulesTest, ABigGreyBlockBreaksIntoFourSmallOnes)
{
    Game& g = Start(0);
    b2Body* big = CreateBlock(g, GreyKind, 2, 2, 0, 8, 0);
    ApplyBlast(g, 8, 3, 10000, 8, big, 0);
    EXPECT_FALSE(Listed(g, big));
    EXPECT_EQ(g.chainCleared[1], 1u);
    EXPECT_EQ(g.fragmentSpawns[1], std::vector<b2Vec2>(4, b2Vec2(8, 0)));
    FlushDoomedBodies(g);

    Script({0, 8192, 16384, 32767});
    SpawnGreyFragments(g);
    EXPECT_TRUE(g.fragmentSpawns[1].empty());
    EXPECT_EQ(drawsTaken, 4);
    ASSERT_EQ(g.blocks.size(), 4u);
    for (const b2Body* b : g.blocks) {
        EXPECT_EQ(KindOf(b), GreyKind);
        EXPECT_EQ(b->GetPosition(), b2Vec2(8, 0));
        EXPECT_LT(SweepRadius(b), 2.0f);
    }
}

TEST_F(RulesTest, SettleChainTurnsTheChainIntoScoreAndAttack)
{
    const struct {
        int32_t hits;
        uint32_t cleared, colours, points;
        int32_t attack, lastChainSize;
    } cases[] = {
        {0, 2, 2, 0, 0, 2},          // a single match earns nothing
        {1, 3, 2, 660, 1, 3},        // base 16 + 6
        {2, 6, 20, 4800, 13, 6},     // colours 2 and 4: base 32 + 48
        {0, 3, 0, 90, 0, 3},         // a bomb and broken greys: base 3
        {0, 3, 1u << 4, 1440, 4, 3}, // colour 4 alone weighs more ...
        {0, 3, 14, 720, 2, 3},       // ... than colours 1, 2 and 3
        {0, 3, 1, 0, 0, 3},          // bit length 1 adds nothing
        {0, 0, 0, 0, 0, 7},          // an empty chain keeps the last size
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hits << " " << c.cleared << " " << c.colours);
        Game& g = Start(0);
        g.score = 100;
        g.pendingAttack[1] = 1;
        g.lastChainSize[1] = 7;
        g.lastClearFrame[1] = 321;
        g.chainHits[1] = c.hits;
        g.chainCleared[1] = c.cleared;
        g.chainColours[1] = c.colours;
        EXPECT_EQ(AttackPreview(g, 1), static_cast<uint32_t>(c.attack));
        EXPECT_EQ(g.score, 100u);
        SettleChain(g, 1);
        EXPECT_EQ(g.score, 100 + c.points);
        EXPECT_EQ(g.pendingAttack[1], 1 + c.attack);
        EXPECT_EQ(g.lastChainSize[1], c.lastChainSize);
        EXPECT_EQ(g.chainHits[1], 0);
        EXPECT_EQ(g.chainCleared[1], 0u);
        EXPECT_EQ(g.chainColours[1], 0u);
        EXPECT_EQ(g.lastClearFrame[1], 321u);
        EXPECT_EQ(g.pendingAttack[0], 0);
    }
}

TEST_F(RulesTest, PendingAttacksCancelEachOther)
{
    const struct {
        int32_t before0, before1, after0, after1;
    } cases[] = {{7, 12, 0, 5}, {12, 7, 5, 0}, {4, 4, 0, 0}, {0, 3, 0, 3}};
    Game& g = Start(0);
    for (const auto& c : cases) {
        g.pendingAttack[0] = c.before0;
        g.pendingAttack[1] = c.before1;
        CancelAttacks(g);
        EXPECT_EQ(g.pendingAttack[0], c.after0);
        EXPECT_EQ(g.pendingAttack[1], c.after1);
    }
}

// ---------------------------------------------------------------------------
// Special drops and bombs

TEST_F(RulesTest, SpecialDropDraws)
{
    const struct {
        std::vector<int32_t> draws;
        bool drops;
        int64_t kind;
        bool fuse;
        int32_t drawsTaken;
    } cases[] = {
        {{54, 0, 0}, true, 1 | PaintFlag, false, 3},
        {{55}, false, 0, false, 1},
        {{0, 16384, 32767}, true, GreyKind | BombFlag, false, 3},
        {{54, 21845}, true, TimerFlag, true, 2},
        {{54, 32767}, true, 0, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.draws.front());
        Game& g = Start(0);
        Script(c.draws);
        TrySpecialDrop(g);
        EXPECT_EQ(drawsTaken, c.drawsTaken);
        ASSERT_EQ(g.blocks.size(), c.drops ? 1u : 0u);
        if (!c.drops)
            continue;
        const b2Body* b = g.blocks[0];
        EXPECT_EQ(KindOf(b), c.kind);
        EXPECT_EQ(b->GetPosition(), b2Vec2(0, 28));
        EXPECT_FLOAT_EQ(b->GetFixtureList()->GetDensity(), 2.0f);
        ASSERT_EQ(g.bombs.size(), c.fuse ? 1u : 0u);
        if (c.fuse) {
            EXPECT_EQ(g.bombs[0].body, b);
            EXPECT_EQ(g.bombs[0].framesLeft, 1140);
        }
    }
}

TEST_F(RulesTest, ATimedBombExplodesWhenItsFuseHasBurnt)
{
    const struct {
        int32_t frameStep;
        uint32_t after;
    } cases[] = {{1, 1139}, {2, 1138}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frameStep);
        Game& g = Start(0);
        g.frameStep = c.frameStep;
        const uint32_t dropFrame = 1000;
        g.frame = dropFrame;
        Script({0, 21845});
        TrySpecialDrop(g);
        b2Body* nearGrey = CreateBlock(g, GreyKind, 2, 1, 0, 4, 26);  // across the divider
        b2Body* farGrey = CreateBlock(g, GreyKind, 2, 1, 0, 15, -5);
        BurnBombs(g);
        uint32_t exploded = 0;
        while (!g.bombs.empty() && g.frame < dropFrame + 2000) {
            g.frame += c.frameStep;
            BurnBombs(g);
            if (g.chainCleared[0] == 1 && exploded == 0)
                exploded = g.frame;
            FlushDoomedBodies(g);
        }
        EXPECT_EQ(exploded, dropFrame + c.after);
        EXPECT_EQ(g.lastClearFrame[0], dropFrame + c.after);
        EXPECT_EQ(g.chainCleared[1], 1u);  // the near grey block on the other side broke
        EXPECT_FALSE(Listed(g, nearGrey));
        EXPECT_TRUE(Listed(g, farGrey));
        EXPECT_EQ(g.particles.back().colour, BlockColours[6]);
    }
}

// ---------------------------------------------------------------------------
// Fill and match end

TEST_F(RulesTest, FillCountsBlocksAgainstTheCapacity)
{
    const struct {
        int small, big;
        float fill;
    } cases[] = {{123, 0, 79.547295f}, {124, 0, 80.19402f}, {0, 31, 80.19402f}, {120, 1, 80.19402f}, {0, 0, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.small << " " << c.big);
        Game& g = Start(0);
        g.frame = 300;
        for (int i = 0; i < c.small; ++i)
            CreateBlock(g, 1, 2, 1, 0, -10, 0);
        for (int i = 0; i < c.big; ++i)
            CreateBlock(g, GreyKind, 2, 2, 0, -10, 0);
        CreateBlock(g, 1, 2, 1, 0, 10, 0);
        UpdateFill(g);
        EXPECT_NEAR(g.fill[0], c.fill, 1e-3);
        EXPECT_NEAR(g.fill[1], 400.0f / 618.5f, 1e-5);
        EXPECT_EQ(g.fill[0] >= FillLimit, c.fill >= 80.0f);
    }
}

TEST_F(RulesTest, CapacityShrinksLateOrWithTheLevel)
{
    const struct {
        int32_t mode, level;
        uint32_t frame;
        float left, right;
    } cases[] = {
        {0, 1, 3780, 618.5f, 618.5f},
        {0, 1, 3781, 618.32125f, 618.32125f},
        {3, 1, 3900, 597.05f, 597.05f},
        {2, 1, 0, 618.5f, 618.5f},
        {2, 1, 1440, 554.15f, 618.5f},
        {2, 4, 720, 554.15f, 618.5f},  // twice the speed of level 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.level << " " << c.frame);
        Game& g = Start(c.mode);
        g.level = c.level;
        g.frame = c.frame;
        CreateBlock(g, 1, 2, 1, 0, -10, 0);
        CreateBlock(g, 1, 2, 1, 0, 10, 0);
        UpdateFill(g);
        EXPECT_NEAR(400.0f / g.fill[0], c.left, 1e-2);
        EXPECT_NEAR(400.0f / g.fill[1], c.right, 1e-2);
    }
}

TEST_F(RulesTest, TheClosingSequenceGreysTheLoserAndEmptiesTheWinner)
{
    Game& g = Start(0);
    std::vector<b2Body*> winners;
    for (int i = 0; i < 10; ++i)
        winners.push_back(CreateBlock(g, 1 + i % 4, 2, 1, 0, 10, static_cast<float>(i * 2)));
    for (int i = 0; i < 3; ++i)
        CreateBlock(g, 2, 2, 1, 0, -10, static_cast<float>(i * 2));
    CreateBlock(g, GreyKind, 2, 1, 0, -12, 20);  // grey already, passed over
    g.fill[0] = 85;
    g.fill[1] = 20;
    const uint32_t endFrame = 1000;
    auto colouredOnLeft = [&] {
        return std::count_if(g.blocks.begin(), g.blocks.end(),
                             [&](const b2Body* b) { return SideOf(g, b) == 0 && KindOf(b) != GreyKind; });
    };
    for (g.frame = endFrame; g.frame < endFrame + 45; ++g.frame) {
        StepMatchEnd(g);
        FlushDoomedBodies(g);
        const uint32_t closing = g.frame - endFrame < 30 ? 0 : g.frame - endFrame - 29;  // frames of the sequence so far
        SCOPED_TRACE(g.frame);
        EXPECT_EQ(g.gameOverFrame, endFrame);
        EXPECT_EQ(g.blocks.size(), 14u - std::min(closing, 10u));
        EXPECT_EQ(colouredOnLeft(), 3 - std::min<int>(closing, 3));
        EXPECT_EQ(g.resultsShown, closing >= 11);
        if (closing == 1)
            EXPECT_FALSE(Listed(g, winners.back()));  // from the top
    }
    EXPECT_EQ(g.menuCursor, 1);
    EXPECT_FALSE(fs::exists("score.dat"));
}

TEST_F(RulesTest, ScoreDatIsWrittenOnceForABeatenSinglePlayerRecord)
{
    const struct {
        int32_t mode;
        uint32_t score;
        bool written;
    } cases[] = {{2, 5000, true}, {2, 4000, false}, {0, 5000, false}, {1, 5000, false}, {3, 5000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.score);
        WriteFile("score.dat", "4000");
        Game& g = Start(c.mode);
        ASSERT_EQ(g.highScore, 4000u);
        g.score = c.score;
        g.fill[0] = 90;
        g.frame = 2000;
        for (int i = 0; i <= 30; ++i, ++g.frame)  // the demonstration resets the clock
            StepMatchEnd(g);
        EXPECT_EQ(ReadFile("score.dat"), c.written ? "5000" : "4000");
        EXPECT_EQ(g.highScore, c.written ? 5000u : 4000u);

        fs::remove("score.dat");
        for (int i = 0; i < 5; ++i, ++g.frame)
            StepMatchEnd(g);
        EXPECT_FALSE(fs::exists("score.dat"));
    }
}

TEST_F(RulesTest, ASinglePlayerLevelIsClearedWhenTheRightFieldFills)
{
    Game& g = Start(2);
    g.score = 777;
    g.fill[1] = 81;
    for (g.frame = 5000; g.frame < 5030; ++g.frame)
        StepMatchEnd(g);
    StepMatchEnd(g);
    EXPECT_EQ(g.level, 2);
    EXPECT_EQ(g.frame, 299u);
    EXPECT_EQ(g.score, 777u);
    EXPECT_FALSE(g.resultsShown);
    EXPECT_EQ(g.fill[1], 0.0f);
    EXPECT_EQ(g.gameOverFrame, 0u);
}

TEST_F(RulesTest, TheDemonstrationRestartsAfterItsResults)
{
    Game& g = Start(3);
    g.fill[1] = 81;
    for (g.frame = 5000; g.frame < 5030; ++g.frame)
        StepMatchEnd(g);
    StepMatchEnd(g);
    EXPECT_EQ(g.frame, 0u);
    EXPECT_EQ(g.fill[1], 0.0f);
    EXPECT_FALSE(g.resultsShown);
}

// ---------------------------------------------------------------------------
// All rules together

// Pieces dived into the pile, garbage, paint, colour bombs and timed bombs on a
// real world for a while: the lists must stay consistent with the world.
TEST_F(RulesTest, ABusyFieldKeepsItsListsConsistent)
{
    RandomSource = nullptr;
    SeedRandom(7);
    Game& g = Start(0);
    uint32_t cleared = 0;
    for (g.frame = 300; g.frame < 1200; ++g.frame) {
        for (int32_t p = 0; p < 2; ++p) {
            if (g.frame - g.lastNextFrame[p] >= 40 || !g.currentPiece[p])
                NextPiece(g, p);
            g.currentPiece[p]->SetLinearVelocity(b2Vec2(0, -40));
        }
        if (g.frame % 97 == 0)
            DropGarbage(g, 6, g.frame % 2, g.frame % 3 == 0 ? 2.0f : 1.0f);
        const int64_t colour = 1 + g.frame % 4;
        if (g.frame % 50 == 0)
            CreateBlock(g, colour | (g.frame % 100 == 0 ? PaintFlag : BombFlag), 2, 1, 0, 0, 28);
        if (g.frame % 150 == 0)
            g.bombs.push_back({60, CreateBlock(g, TimerFlag, 2, 1, 0, -1, 28)});
        SpawnGreyFragments(g);
        UpdateFill(g);
        BurnBombs(g);
        g.world->Step(1.0f / 60.0f, 10, 10);
        cleared += g.doomed.size();
        FlushDoomedBodies(g);
        for (int32_t p = 0; p < 2; ++p) {
            if (g.frame - g.lastClearFrame[p] >= 60)
                SettleChain(g, p);
        }
        CancelAttacks(g);

        ASSERT_EQ(std::set<b2Body*>(g.blocks.begin(), g.blocks.end()).size(), g.blocks.size());
        ASSERT_EQ(g.world->GetBodyCount(), static_cast<int32>(g.blocks.size()) + 3);
        for (const b2Body* b : g.blocks)
            ASSERT_FALSE(IsOutOfPlay(b));
        for (const TimedBomb& bomb : g.bombs)
            ASSERT_TRUE(Listed(g, bomb.body));
        for (b2Body* piece : g.currentPiece)
            ASSERT_TRUE(!piece || Listed(g, piece));
        if (g.fill[0] >= FillLimit || g.fill[1] >= FillLimit)
            ResetMatch(g);
    }
    EXPECT_GT(cleared, 50u);
    EXPECT_GT(g.score, 0u);
}

// ---------------------------------------------------------------------------
// Sparks

TEST_F(RulesTest, ABurstThrowsEffectNumSparksDiagonally)
{
    Game& g = Start(0);
    Script({0, 32767, 2, 3, 32767, 0, 1, 4});
    SpawnSparks(g, 3, 4, 5);
    EXPECT_EQ(drawsTaken, 32);
    ASSERT_EQ(g.particles.size(), 8u);
    EXPECT_EQ(g.particles[0].velocity, glm::vec3(-0.5f, 1.5f, 0.0f));
    EXPECT_EQ(g.particles[1].velocity, glm::vec3(1.5f, -0.5f, 0.0f));
    for (const Particle& p : g.particles) {
        EXPECT_EQ(p.position, glm::vec3(4, 5, 0));
        EXPECT_EQ(p.life, 20u);
        EXPECT_EQ(p.colour, BlockColours[3]);
        EXPECT_GE(std::fabs(p.velocity.x), 0.5f);
        EXPECT_GE(std::fabs(p.velocity.y), 0.5f);
        EXPECT_LE(std::fabs(p.velocity.x), 1.5f);
    }

    GameSettings.effectNum = 0;
    Script({});
    SpawnSparks(g, 6, 0, 0);
    EXPECT_EQ(drawsTaken, 0);
    EXPECT_EQ(g.particles.size(), 8u);
}

TEST_F(RulesTest, ANegativeEffectNumStaysBounded)
{
    Game& g = Start(0);
    GameSettings.effectNum = static_cast<uint32_t>(-5);
    for (int i = 0; i < 50; ++i)
        SpawnSparks(g, 1, static_cast<float>(i), 0);
    EXPECT_EQ(g.particles.size(), 20000u);
    EXPECT_EQ(g.particles.back().position.x, 49.0f);  // the oldest made room
    EXPECT_EQ(g.particles.front().position.x, 30.0f);
}

}  // namespace
