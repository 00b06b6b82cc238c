// Spark bursts; the drawing moves, ages and removes the sparks.
#include "game/GameLocal.h"

#include <algorithm>
#include <cassert>

#include "render/Render.h"

namespace {

// EFFECT_NUM comes from a hand-edited file: a negative value read as unsigned
// must not eat the memory, so bursts and the list have a ceiling.
constexpr uint32_t MaxSparksPerBurst = 1000;
constexpr size_t MaxParticles = 20000;

// Both components between 0.5 and 1.5 in size, towards one of the four diagonals.
glm::vec3 SparkVelocity()
{
    float vx = static_cast<float>(RandomFraction() + 0.5);
    float vy = static_cast<float>(RandomFraction() + 0.5);
    if (Rand() % 2 == 0)
        vx = -vx;
    if (Rand() % 2 == 0)
        vy = -vy;
    return glm::vec3(vx, vy, 0.0f);
}

// The oldest sparks are the nearest to their end anyway.
void MakeRoom(Game& game, size_t count)
{
    std::vector<Particle>& particles = game.particles;
    if (particles.size() + count > MaxParticles)
        particles.erase(particles.begin(), particles.begin() + (particles.size() + count - MaxParticles));
}

}  // namespace

void SpawnSparks(Game& game, int32_t kind, float x, float y)
{
    assert(kind >= 0 && kind < 7);
    const uint32_t count = std::min(GameSettings.effectNum, MaxSparksPerBurst);
    MakeRoom(game, count);
    for (uint32_t i = 0; i < count; ++i) {
        const glm::vec3 velocity = SparkVelocity();
        game.particles.push_back({glm::vec3(x, y, 0.0f), velocity, 20, BlockColours[kind]});
    }
}
