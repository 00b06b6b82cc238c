// Internals shared by the render files: the frame's draw queue, GL texture
// creation and the counters. Nothing outside src/render includes this.
#pragma once

#include <cstdint>

#include <epoxy/gl.h>
#include <glm/glm.hpp>

#include "render/Render.h"

constexpr int32_t BackBufferWidth = 800;
constexpr int32_t BackBufferHeight = 600;

// ---------------------------------------------------------------------------
// The draw queue (Batches.cpp). Lines, sprites and glyphs are collected in call
// order and go to the GPU at the end of the frame: each run of lines is one
// draw call, each run of quads on one texture is one draw call.

// Compiles the shaders and makes the vertex buffers; false when GL refuses.
bool CreateBatchPipeline();
// A world-space line in the ambient-scaled colour, seen through the current camera.
void QueueLine(glm::vec3 a, glm::vec3 b, uint32_t argb);

// A screen-space quad in back-buffer pixels with its texture coordinates (0..1).
struct QuadCorners {
    float left, top, right, bottom;
    float u0, v0, u1, v1;
};
void QueueQuad(uint32_t texture, const QuadCorners& quad, uint32_t argb);
// Draws everything queued so far into the bound picture target and empties the queue.
void FlushBatches();
// The camera changed: lines queued from now on use the new view.
void CameraChanged();

// Counters of the frame being drawn; PresentFrame hands them to LastFrameStats.
extern FrameStats CurrentFrameStats;

// ---------------------------------------------------------------------------
// Textures (Images.cpp).

// An RGBA texture (rows top first) with linear filtering, wrapping and, when
// asked, a full mip chain; 0 on failure.
uint32_t CreateRgbaTexture(uint32_t width, uint32_t height, const uint8_t* rgba, bool mipmapped);
