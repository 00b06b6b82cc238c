// The Game scene's overlays. The screen splits at x = 400: the left half is
// player 1's, the right half player 2's.
#include <algorithm>
#include <cstdio>

#include "game/Game.h"
#include "render/Overlays.h"
#include "render/Render.h"

namespace {

constexpr uint32_t White = 0xFFFFFFFF;
constexpr uint32_t Dimmed = 0x80FFFFFF;
constexpr uint32_t Centred = DT_CENTER | DT_VCENTER;
constexpr RectI WholeScreen = {0, 0, 800, 600};
constexpr RectI HalfScreen(int32_t p) { return {400 * p, 5, 400 * p + 400, 600}; }

const char* const MenuItems[3] = {"RETURN TO MAIN MENU", "RETRY", "CONTINUE"};

// A line-drawn square in the play plane: bottom edge left to right, right edge up,
// top edge right to left, left edge down.
void DrawBox(float x, float y, float s, uint32_t colour)
{
    DrawLine3D(colour, {x - s, y - s, 0.0f}, {x + s, y - s, 0.0f});
    DrawLine3D(colour, {x + s, y - s, 0.0f}, {x + s, y + s, 0.0f});
    DrawLine3D(colour, {x + s, y + s, 0.0f}, {x - s, y + s, 0.0f});
    DrawLine3D(colour, {x - s, y + s, 0.0f}, {x - s, y - s, 0.0f});
}

void DrawFullScreenDim(const Game& game)
{
    BeginSprites();
    DrawTexture(game.maskTexture, 0x80000000, WholeScreen, {0, 0, 1, 1});
    EndSprites();
}

// Item 0 is the lowest line and each higher index one line up, so the UP action
// moves the highlight upwards.
void DrawMenuItems(int32_t count, int32_t bottom, int32_t cursor)
{
    for (int32_t i = 0; i < count; ++i) {
        const RectI line = {0, bottom - 30 - 30 * i, 800, bottom - 30 * i};
        DrawLabel(MiddleFont, MenuItems[i], line, Centred, cursor == i ? White : Dimmed);
    }
}

// A running chain shows its count at full strength; a settled one stays up until
// 120 frames after its last clear and fades over the last 60 of them. The label is
// drawn twice so a fading count stays readable.
void DrawChainCounter(const Game& game, int32_t p)
{
    uint32_t count = game.chainCleared[p];
    uint32_t alpha = 255;
    if (count == 0) {
        const uint32_t e = game.frame - game.lastClearFrame[p];
        if (e >= 120) return;
        count = static_cast<uint32_t>(game.lastChainSize[p]);
        alpha = (255 - (e - 60) * 255 / 60) & 0xFF;
    }
    if (count == 0) return;
    const uint32_t colour = alpha << 24 | (count > 20 ? 0xFF0000 : 0xFFFFFF);
    char text[32];
    std::snprintf(text, sizeof text, "%u COMBO!!", count);
    const uint32_t format = p == 0 ? DT_LEFT : DT_RIGHT;
    DrawLabel(MiddleFont, text, {5, 5, 795, 200}, format, colour);
    DrawLabel(MiddleFont, text, {5, 5, 795, 200}, format, colour);
}

// The bar under a running count empties during the 60 frames after each clear;
// when it is gone, the chain ends.
void DrawChainBars(const Game& game)
{
    BeginSprites();
    for (int32_t p = 0; p < 2; ++p) {
        const uint32_t last = game.lastClearFrame[p];
        if (game.chainCleared[p] == 0 || !(last + 60 > game.frame)) continue;
        const int32_t w = static_cast<int32_t>((last - game.frame + 60) * 150 / 60);
        const RectI bar = p == 0 ? RectI{5, 40, w, 45} : RectI{795 - w, 40, 795, 45};
        DrawTexture(game.maskTexture, White, bar, {0, 0, 1, 1});
    }
    EndSprites();
}

void DrawFillPercentages(const Game& game)
{
    if (game.frame <= 120) return;
    for (int32_t p = 0; p < 2; ++p) {
        char text[32];
        std::snprintf(text, sizeof text, "%02.2f%%", game.fill[p]);
        DrawLabel(MiddleFont, text, HalfScreen(p), DT_CENTER, White);
    }
}

// More than 32 owed blocks arrive as large blocks, one per four, and the column
// shows them that way. Returns the y reached, where the next stack goes on.
float DrawAttackStack(float x, float y, int64_t count)
{
    const bool big = count > 32;
    const float s = big ? 1.0f : 0.5f;
    const int64_t boxes = big ? count / 4 : count;
    for (int64_t i = 0; i < boxes; ++i) {
        y -= 2.0f * (s + 0.1f);
        DrawBox(x, y, s, White);
    }
    return y;
}

// Column p stands beside the opponent's field and shows what p sends: the owed
// attack less what the opponent's running chain will cancel, then, blinking, what
// p's own running chain adds once it has cancelled the opponent's owed attack.
void DrawAttackColumn(const Game& game, int32_t p)
{
    const float x = p == 0 ? 25.0f : -25.0f;
    int64_t solid = int64_t{game.pendingAttack[p]} - AttackPreview(game, 1 - p);
    int64_t live = std::max<int64_t>(0, int64_t{AttackPreview(game, p)} - game.pendingAttack[1 - p]);
    if (solid <= 0) {
        live += solid;
        solid = 0;
    }
    const float y = DrawAttackStack(x, 28.0f, solid);
    if (game.frame % 30 >= 15) DrawAttackStack(x, y, live);
}

// The four coming kinds stand inside the centre pillar, the next one on top.
void DrawNextPieces(const Game& game, int32_t p)
{
    const float x = p == 0 ? -1.75f : 1.75f;
    for (int32_t k = 0; k < 4; ++k) {
        const float y = k == 0 ? 15.0f : 15.0f - 1.7f * k - 2.0f;
        DrawBox(x, y, 0.75f, BlockColours[game.nextKinds[p][k] & 0xFF]);
    }
}

void DrawCountdown(const Game& game)
{
    if (game.frame <= 120 || game.frame >= PlayStartFrame) return;
    char text[16];
    std::snprintf(text, sizeof text, "%u", (PlayStartFrame - game.frame) / 60 + 1);
    DrawLabel(MiddleFont, text, WholeScreen, Centred, White);
}

// The level blinks twice as play starts; the record sits above the running score.
void DrawSinglePlayerTexts(const Game& game)
{
    const bool blinkOn = game.frame % 60 < 30;
    char text[64];
    if (game.frame >= PlayStartFrame && game.frame < PlayStartFrame + 120 && blinkOn) {
        std::snprintf(text, sizeof text, "LEVEL %d", game.level);
        DrawLabel(MiddleFont, text, WholeScreen, Centred, White);
    }
    std::snprintf(text, sizeof text, "%09u\n%09u\n", game.highScore, game.score);
    DrawLabel(MiddleFont, text, {500, 100, 800, 600}, DT_LEFT, White);
    if (game.highScore < game.score && blinkOn)
        DrawLabel(LargeFont, "HIGH SCORE!!", {400, 300, 750, 600}, DT_CENTER, White);
}

// Each half is decided on its own fill.
void DrawOutcome(const Game& game)
{
    if (game.mode == 2) {
        if (game.fill[0] >= FillLimit) DrawLabel(LargeFont, "GAME OVER...", WholeScreen, Centred, White);
        return;
    }
    for (int32_t p = 0; p < 2; ++p) {
        const bool lost = game.fill[p] >= FillLimit;
        DrawLabel(LargeFont, lost ? "LOSE..." : "WIN!!", HalfScreen(p), Centred, lost ? 0xFF0000FF : 0xFFFF0000);
    }
}

void DrawResultsScreen(const Game& game)
{
    if (game.gameOverFrame == 0 || !game.resultsShown) return;
    DrawFullScreenDim(game);
    DrawOutcome(game);
    DrawMenuItems(2, 435, game.menuCursor);
}

// The frame counter stands still while paused, so the title blinks by the wall clock.
void DrawPauseScreen(const Game& game)
{
    if (!game.paused) return;
    DrawFullScreenDim(game);
    DrawMenuItems(3, 465, game.menuCursor);
    if (timeGetTime() % 1000 < 500) DrawLabel(LargeFont, "PAUSE", WholeScreen, Centred, White);
}

}  // namespace

void DrawOverlays(const Game& game)
{
    DrawChainCounter(game, 0);
    DrawChainCounter(game, 1);
    DrawChainBars(game);
    DrawFillPercentages(game);
    DrawAttackColumn(game, 0);
    DrawAttackColumn(game, 1);
    DrawNextPieces(game, 0);
    if (game.mode != 2) DrawNextPieces(game, 1);
    DrawCountdown(game);
    if (game.mode == 2) DrawSinglePlayerTexts(game);
    DrawResultsScreen(game);
    DrawPauseScreen(game);
}
