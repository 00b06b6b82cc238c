// Fill levels, the closing sequence of a match and the high score file.
#include "game/GameLocal.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "sound/Sound.h"

namespace {

constexpr uint32_t ClosingDelay = 30;  // frames of physics between the end and the closing sequence

// The room left in a field: the single player's left field shrinks from the
// start, the faster the higher the level; the others shrink late in a match.
float ShrinkingCapacity(const Game& game)
{
    double height = 39.0;
    if (game.mode == 2) {
        const auto t = static_cast<uint32_t>(std::sqrt(static_cast<double>(game.level)) * game.frame);
        height -= t * 39.0 / 14400.0;
    } else if (game.frame > 3780) {
        height -= (game.frame - 3780) * 39.0 / 3600.0;
    }
    return static_cast<float>(height * 33.0 * 0.5) - 25.0f;
}

// A big block covers as much as four small ones.
void CountBlocks(const Game& game, uint32_t counts[2])
{
    counts[0] = counts[1] = 0;
    for (const b2Body* block : game.blocks)
        counts[SideOf(game, block)] += SweepRadius(block) > 2.0f ? 4 : 1;
}

// The highest block of each side; a losing side's blocks that are grey already are passed over.
void FindTopBlocks(const Game& game, b2Body* top[2])
{
    float bestY[2] = {-100.0f, -100.0f};
    top[0] = top[1] = nullptr;
    for (b2Body* block : game.blocks) {
        const int32_t side = SideOf(game, block);
        if (game.fill[side] >= FillLimit && KindOf(block) == GreyKind)
            continue;
        const float y = block->GetPosition().y;
        if (y > bestY[side]) {
            bestY[side] = y;
            top[side] = block;
        }
    }
}

// The losing side greys out from the top, the other side empties from the top.
bool CloseOneStep(Game& game)
{
    b2Body* top[2];
    FindTopBlocks(game, top);
    for (int32_t side = 0; side < 2; ++side) {
        if (!top[side])
            continue;
        const b2Vec2 position = top[side]->GetPosition();
        if (game.fill[side] >= FillLimit) {
            SetKind(top[side], GreyKind);
            SpawnSparks(game, GreyKind, position.x, position.y);
        } else {
            TakeOutOfPlay(game, top[side]);
            SpawnSparks(game, ColourOf(KindOf(top[side])), position.x, position.y);
        }
    }
    DropOutOfPlay(game);
    return top[0] || top[1];
}

void ApplyOutcome(Game& game)
{
    if (!game.resultsShown)
        return;
    if (game.mode == 2 && game.fill[0] < FillLimit) {
        ResetMatch(game);  // level cleared; the score carries over
        game.level += 1;
        game.frame = 299;
    } else if (game.mode == 2) {
        if (game.highScore < game.score) {
            WriteHighScore("score.dat", game.score);
            game.highScore = game.score;  // even when the file cannot be written
        }
    } else if (game.mode == 3) {
        ResetMatch(game);
    }
}

// "%d" rules: white space, an optional sign, digits up to the first non-digit.
// Any 32-bit reading of the digits is kept; a number past 32 bits means no record.
uint32_t ParseHighScore(FILE* file)
{
    int c = std::fgetc(file);
    while (c != EOF && std::isspace(c))
        c = std::fgetc(file);
    const bool negative = c == '-';
    if (c == '-' || c == '+')
        c = std::fgetc(file);
    if (c == EOF || !std::isdigit(c))
        return 0;
    const uint64_t tooBig = 0x100000000ull;
    uint64_t value = 0;
    for (; c != EOF && std::isdigit(c); c = std::fgetc(file)) {
        if (value <= tooBig)
            value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (negative)
        return value <= 0x80000000ull ? static_cast<uint32_t>(0 - value) : 0;
    return value < tooBig ? static_cast<uint32_t>(value) : 0;
}

bool WriteWhole(const std::string& path, uint32_t score)
{
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    bool written = std::fprintf(file, "%d", static_cast<int32_t>(score)) > 0;
    written = std::fflush(file) == 0 && written;
    written = fsync(fileno(file)) == 0 && written;
    return std::fclose(file) == 0 && written;
}

}  // namespace

void UpdateFill(Game& game)
{
    const float shrinking = ShrinkingCapacity(game);
    const float capacity[2] = {shrinking, game.mode == 2 ? 618.5f : shrinking};  // the single player's right field keeps its room
    uint32_t counts[2];
    CountBlocks(game, counts);
    for (int32_t side = 0; side < 2; ++side)
        game.fill[side] = static_cast<float>(counts[side]) * 4.0f / capacity[side] * 100.0f;
}

void StepMatchEnd(Game& game)
{
    if (game.gameOverFrame == 0)
        game.gameOverFrame = game.frame;
    if (game.frame - game.gameOverFrame < ClosingDelay)
        return;
    if (CloseOneStep(game)) {
        PlaySound(false, game.bombSound);
    } else if (!game.resultsShown) {
        game.resultsShown = true;
        game.menuCursor = 1;  // "RETRY"
    }
    ApplyOutcome(game);
}

uint32_t ReadHighScore(const char* path)
{
    FILE* file = std::fopen(path, "r");
    if (!file)
        return 0;
    const uint32_t score = ParseHighScore(file);
    std::fclose(file);
    return score;
}

// The new record goes to a file of its own first, so the old one is replaced
// whole or not at all.
bool WriteHighScore(const char* path, uint32_t score)
{
    const std::string temporary = std::string(path) + ".tmp";
    if (!WriteWhole(temporary, score) || std::rename(temporary.c_str(), path) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
