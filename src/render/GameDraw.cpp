// The Game scene's picture: the field's outlines, special icons, bomb seconds,
// sparks and the piece marks, with the overlays on top.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <glm/gtc/constants.hpp>

#include "game/Game.h"
#include "render/Overlays.h"
#include "render/Render.h"

bool blinkVisible = false;

namespace {

constexpr uint32_t White = 0xFFFFFFFF;
constexpr uint32_t Red = 0xFFFF0000;
constexpr uint32_t Centred = DT_CENTER | DT_VCENTER;

// A screen square around a play-plane point; each bound is truncated on its own,
// so a square may come out a pixel wider on one side.
RectI RectAround(float x, float y, double half)
{
    const ScreenPoint p = WorldToScreen(x, y);
    return {static_cast<int32_t>(p.x - half), static_cast<int32_t>(p.y - half),
            static_cast<int32_t>(p.x + half), static_cast<int32_t>(p.y + half)};
}

// Advances the leave flicker and tells whether this frame shows the picture.
// The toggles come faster as leaving goes on; after a second only black is shown.
bool StepLeaveBlink(Game& game)
{
    if (game.quitFrame == 0) return true;
    const uint32_t e = game.frame - game.quitFrame;
    if (game.frame > game.blinkFrame + 17 - 15 * e / 60) {
        blinkVisible = !blinkVisible;
        game.blinkFrame = game.frame;
    }
    return blinkVisible && e <= 60;
}

// The middle marker grows with the opening camera move, then reaches past the screen.
void DrawCentreLine(uint32_t frame)
{
    float length = 100.0f;
    if (frame < 120) length = 30.0f * std::sin(static_cast<float>(frame) / 120.0f * glm::pi<float>() * 0.5f);
    DrawLine3D(0x80FFFFFF, {0.0f, -length, 1.0f}, {0.0f, length, 1.0f});
}

// Every icon is a batch of its own, so it lands between the outlines drawn around it.
void DrawIcon(int32_t texture, uint32_t colour, RectI destination, RectI source)
{
    BeginSprites();
    DrawTexture(texture, colour, destination, source);
    EndSprites();
}

// A bomb whose fuse has not been lit yet carries no number.
void DrawBombSeconds(const Game& game, const b2Body* body, RectI rectangle)
{
    const auto bomb = std::find_if(game.bombs.begin(), game.bombs.end(),
                                   [body](const TimedBomb& b) { return b.body == body; });
    if (bomb == game.bombs.end()) return;
    const uint32_t seconds = static_cast<uint32_t>(bomb->framesLeft) / 60 + 1;
    char text[16];
    std::snprintf(text, sizeof text, "%u", seconds);
    DrawLabel(seconds >= 10 ? SmallFont : MiddleFont, text, rectangle, Centred, seconds < 4 ? Red : White);
}

// Icons sit upright on the body's origin while the outline turns with the body.
void DrawSpecialMark(const Game& game, const b2Body* body, int64_t kind)
{
    const b2Vec2 position = body->GetPosition();
    const RectI icon = RectAround(position.x, position.y, 12.0);
    const int32_t colour = static_cast<int32_t>(kind & 0xFF);
    if (kind & PaintFlag)
        DrawIcon(game.specialTexture, White, icon, {64 * colour - 64, 64, 64 * colour - 1, 127});
    else if (kind & BombFlag)
        DrawIcon(game.specialTexture, BlockColours[colour], icon, {64, 0, 127, 63});
    else if (kind & TimerFlag)
        DrawBombSeconds(game, body, icon);
}

void DrawBody(const Game& game, b2Body* body)
{
    const glm::mat4 world = BodyWorldMatrix(body);
    for (b2Fixture* fixture = body->GetFixtureList(); fixture; fixture = fixture->GetNext()) {
        const int64_t kind = static_cast<int64_t>(fixture->GetUserData().pointer);
        DrawShapeOutline(fixture, world, BlockColours[kind & 0xFF]);
        if (kind >= 0x100) DrawSpecialMark(game, body, kind);
    }
}

void DrawField(const Game& game)
{
    for (b2Body* block : game.blocks) DrawBody(game, block);
    DrawBody(game, game.floorBody);
    DrawBody(game, game.wallBody);
    DrawBody(game, game.dividerBody);
}

// Gravity and drag per frame, in the spark's own single precision.
void MoveSpark(Particle& spark)
{
    spark.position += spark.velocity;
    spark.velocity *= 0.99f;
    spark.velocity.y -= 0.05f;
}

// Sparks move only here, once per drawn frame, so they keep flying while the game
// is paused. Each is drawn where it was before this frame's move, and leaves the
// list in the frame it is drawn for the last time.
void DrawSparks(Game& game)
{
    BeginSprites();
    for (Particle& spark : game.particles) {
        const RectI destination = RectAround(spark.position.x, spark.position.y, spark.life * 0.5);
        MoveSpark(spark);
        DrawTexture(game.bubbleTexture, spark.colour, destination, {0, 0, 32, 32});
        --spark.life;
    }
    EndSprites();
    auto& sparks = game.particles;
    sparks.erase(std::remove_if(sparks.begin(), sparks.end(), [](const Particle& p) { return p.life == 0; }),
                 sparks.end());
}

// The computer's pieces are marked too, so a watcher of the demo knows the sides.
void DrawPieceMarks(const Game& game)
{
    for (int32_t p = 0; p < 2; ++p) {
        if (!game.currentPiece[p]) continue;
        const b2Vec2 position = game.currentPiece[p]->GetPosition();
        char text[8];
        std::snprintf(text, sizeof text, "%dP", p + 1);
        DrawLabel(SmallFont, text, RectAround(position.x, position.y, 10.0), Centred, White);
    }
}

}  // namespace

void Game::Draw()
{
    ClearFrame(0x00000000);
    if (StepLeaveBlink(*this)) {
        BeginScene();
        DrawCentreLine(frame);
        DrawField(*this);
        DrawSparks(*this);
        DrawPieceMarks(*this);
        DrawOverlays(*this);
        EndScene();
    }
    PresentFrame();
}
