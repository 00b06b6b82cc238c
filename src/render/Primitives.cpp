// World-space lines, shape outlines and the play plane's screen mapping.
#include <cmath>

#include <glm/gtc/matrix_transform.hpp>

#include "render/RenderLocal.h"
#include "shell/Shell.h"

namespace {

// Unit length, or zero for a zero vector (a line seen end-on has no sideways).
glm::vec3 NormalizedOrZero(glm::vec3 v)
{
    const float length = glm::length(v);
    return length > 0.0f ? v / length : glm::vec3(0.0f);
}

// The sideways shift of a bold line's outer strokes: about 0.6 pixel at the
// usual camera distance of 50, and the same on screen at any depth.
glm::vec3 BoldStrokeOffset(glm::vec3 a, glm::vec3 b)
{
    const glm::vec3 middle = (a + b) * 0.5f;
    const float k = glm::length(Camera.eye - middle) / 50.0f;
    const glm::vec3 viewDirection = Camera.target - Camera.eye;
    const glm::vec3 across = NormalizedOrZero(glm::cross(b - a, viewDirection));
    return across * (0.04f * k);
}

glm::vec3 TransformPoint(const glm::mat4& world, b2Vec2 point)
{
    const glm::vec4 placed = world * glm::vec4(point.x, point.y, 0.0f, 1.0f);
    return glm::vec3(placed) / placed.w;
}

}  // namespace

void DrawLine3D(uint32_t colour, glm::vec3 a, glm::vec3 b)
{
    if (!DeviceReady)
        return;
    QueueLine(a, b, colour);
    if (!GameSettings.boidLine)
        return;
    const glm::vec3 offset = BoldStrokeOffset(a, b);
    QueueLine(a + offset, b + offset, colour);
    QueueLine(a - offset, b - offset, colour);
}

glm::mat4 BodyWorldMatrix(const b2Body* body)
{
    const b2Vec2 position = body->GetPosition();
    const glm::mat4 translation = glm::translate(glm::mat4(1.0f), glm::vec3(position.x, position.y, 0.0f));
    return glm::rotate(translation, body->GetAngle(), glm::vec3(0.0f, 0.0f, 1.0f));
}

void DrawShapeOutline(const b2Fixture* fixture, const glm::mat4& world, uint32_t colour)
{
    if (!fixture || fixture->GetType() != b2Shape::e_polygon)
        return;
    const auto* polygon = static_cast<const b2PolygonShape*>(fixture->GetShape());
    glm::vec3 corners[b2_maxPolygonVertices];
    for (int32_t i = 0; i < polygon->m_count; ++i)
        corners[i] = TransformPoint(world, polygon->m_vertices[i]);
    for (int32_t i = 0; i < polygon->m_count; ++i)
        DrawLine3D(colour, corners[i], corners[(i + 1) % polygon->m_count]);
}

ScreenPoint WorldToScreen(float x, float y)
{
    const double halfHeight = 50.0 * std::tan(0.39269909262657166);
    const double halfWidth = halfHeight * 800.0 / 600.0;
    return {400.0 + x / halfWidth * 800.0 * 0.5, 300.0 - (y - 10.0) / halfHeight * 600.0 * 0.5};
}
