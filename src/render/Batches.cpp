// The frame's draw queue: lines, sprites and glyphs in call order, sent to the
// GPU in as few draw calls as the order allows.
#include <cstddef>
#include <vector>

#include "render/RenderLocal.h"

FrameStats CurrentFrameStats = {};

namespace {

struct LineVertex {
    float x, y, z;
    uint8_t rgba[4];
};

struct QuadVertex {
    float x, y, u, v;
    uint8_t rgba[4];
};

enum class BatchKind { Lines, Quads };

// A run of vertices drawn with one call. Lines keep the camera they were queued
// under, quads their texture.
struct Batch {
    BatchKind kind;
    uint32_t texture;
    uint32_t cameraGeneration;
    glm::mat4 viewProjection;
    uint32_t first;
    uint32_t count;
};

struct Pipeline {
    GLuint program;
    GLuint vertexArray;
    GLuint buffer;
    GLint viewProjection;  // lines only
};

// The queue, emptied by every flush.
std::vector<LineVertex> lineVertices;
std::vector<QuadVertex> quadVertices;
std::vector<Batch> batches;
uint32_t cameraGeneration = 0;

// Made once by CreateBatchPipeline.
Pipeline linePipeline = {};
Pipeline quadPipeline = {};

const char* const LineVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;
uniform mat4 viewProjection;
out vec4 vertexColour;
void main()
{
    gl_Position = viewProjection * vec4(position, 1.0);
    vertexColour = colour;
})";

const char* const LineFragmentShader = R"(#version 330 core
in vec4 vertexColour;
out vec4 fragmentColour;
void main()
{
    fragmentColour = vertexColour;
})";

// Quads come in back-buffer pixels, origin top left.
const char* const QuadVertexShader = R"(#version 330 core
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texCoord;
layout(location = 2) in vec4 colour;
out vec2 vertexTexCoord;
out vec4 vertexColour;
void main()
{
    gl_Position = vec4(position.x / 400.0 - 1.0, 1.0 - position.y / 300.0, 0.0, 1.0);
    vertexTexCoord = texCoord;
    vertexColour = colour;
})";

const char* const QuadFragmentShader = R"(#version 330 core
in vec2 vertexTexCoord;
in vec4 vertexColour;
uniform sampler2D image;
out vec4 fragmentColour;
void main()
{
    fragmentColour = texture(image, vertexTexCoord) * vertexColour;
})";

GLuint CompileShader(GLenum type, const char* source)
{
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (compiled == GL_TRUE)
        return shader;
    glDeleteShader(shader);
    return 0;
}

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource)
{
    const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fragmentShader = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = 0;
    if (vertexShader && fragmentShader) {
        program = glCreateProgram();
        glAttachShader(program, vertexShader);
        glAttachShader(program, fragmentShader);
        glLinkProgram(program);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    return program;
}

void VertexAttribute(GLuint index, GLint size, GLenum type, GLsizei stride, size_t offset)
{
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, size, type, type == GL_UNSIGNED_BYTE ? GL_TRUE : GL_FALSE, stride,
                          reinterpret_cast<const void*>(offset));
}

// Links the program and makes its vertex array and buffer, left bound for the
// attributes to be described.
bool CreatePipeline(Pipeline& pipeline, const char* vertexSource, const char* fragmentSource)
{
    pipeline.program = LinkProgram(vertexSource, fragmentSource);
    if (!pipeline.program)
        return false;
    glUseProgram(pipeline.program);
    glGenVertexArrays(1, &pipeline.vertexArray);
    glGenBuffers(1, &pipeline.buffer);
    glBindVertexArray(pipeline.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, pipeline.buffer);
    return true;
}

bool CreateLinePipeline()
{
    if (!CreatePipeline(linePipeline, LineVertexShader, LineFragmentShader))
        return false;
    linePipeline.viewProjection = glGetUniformLocation(linePipeline.program, "viewProjection");
    VertexAttribute(0, 3, GL_FLOAT, sizeof(LineVertex), offsetof(LineVertex, x));
    VertexAttribute(1, 4, GL_UNSIGNED_BYTE, sizeof(LineVertex), offsetof(LineVertex, rgba));
    return true;
}

bool CreateQuadPipeline()
{
    if (!CreatePipeline(quadPipeline, QuadVertexShader, QuadFragmentShader))
        return false;
    glUniform1i(glGetUniformLocation(quadPipeline.program, "image"), 0);
    VertexAttribute(0, 2, GL_FLOAT, sizeof(QuadVertex), offsetof(QuadVertex, x));
    VertexAttribute(1, 2, GL_FLOAT, sizeof(QuadVertex), offsetof(QuadVertex, u));
    VertexAttribute(2, 4, GL_UNSIGNED_BYTE, sizeof(QuadVertex), offsetof(QuadVertex, rgba));
    return true;
}

// ARGB as the four bytes R, G, B, A the shaders read.
void UnpackArgb(uint32_t argb, uint8_t rgba[4])
{
    rgba[0] = static_cast<uint8_t>(argb >> 16);
    rgba[1] = static_cast<uint8_t>(argb >> 8);
    rgba[2] = static_cast<uint8_t>(argb);
    rgba[3] = static_cast<uint8_t>(argb >> 24);
}

// Lines have no light but the global ambient of 0x80: red, green and blue show
// at 128/255 of the colour, rounded as the fixed-function lighting rounds.
uint8_t AmbientScaled(uint8_t channel)
{
    return static_cast<uint8_t>((channel * 128u + 127u) / 255u);
}

// Extends the last batch when it can take the vertices, else opens a new one.
Batch& BatchFor(BatchKind kind, uint32_t texture, uint32_t first)
{
    if (!batches.empty()) {
        Batch& last = batches.back();
        const bool sameState = kind == BatchKind::Lines ? last.cameraGeneration == cameraGeneration
                                                        : last.texture == texture;
        if (last.kind == kind && sameState)
            return last;
    }
    batches.push_back({kind, texture, cameraGeneration, Projection * Camera.view, first, 0});
    return batches.back();
}

template <typename Vertex>
void Upload(const Pipeline& pipeline, const std::vector<Vertex>& vertices)
{
    glBindBuffer(GL_ARRAY_BUFFER, pipeline.buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
                 GL_STREAM_DRAW);
}

void DrawLineBatch(const Batch& batch)
{
    glUseProgram(linePipeline.program);
    glBindVertexArray(linePipeline.vertexArray);
    glUniformMatrix4fv(linePipeline.viewProjection, 1, GL_FALSE, &batch.viewProjection[0][0]);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDrawArrays(GL_LINES, static_cast<GLint>(batch.first), static_cast<GLsizei>(batch.count));
}

// Screen-space items lie over the 3-D picture and leave its depth alone, so
// later lines are not hidden behind an earlier sprite.
void DrawQuadBatch(const Batch& batch)
{
    glUseProgram(quadPipeline.program);
    glBindVertexArray(quadPipeline.vertexArray);
    glBindTexture(GL_TEXTURE_2D, batch.texture);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(batch.first), static_cast<GLsizei>(batch.count));
}

}  // namespace

bool CreateBatchPipeline()
{
    const bool ready = CreateLinePipeline() && CreateQuadPipeline();
    glBindVertexArray(0);
    return ready;
}

void CameraChanged()
{
    ++cameraGeneration;
}

void QueueLine(glm::vec3 a, glm::vec3 b, uint32_t argb)
{
    LineVertex vertex = {};
    UnpackArgb(argb, vertex.rgba);
    for (int channel = 0; channel < 3; ++channel)
        vertex.rgba[channel] = AmbientScaled(vertex.rgba[channel]);
    const auto first = static_cast<uint32_t>(lineVertices.size());
    for (const glm::vec3& point : {a, b}) {
        vertex.x = point.x;
        vertex.y = point.y;
        vertex.z = point.z;
        lineVertices.push_back(vertex);
    }
    BatchFor(BatchKind::Lines, 0, first).count += 2;
    ++CurrentFrameStats.lines;
}

void QueueQuad(uint32_t texture, const QuadCorners& quad, uint32_t argb)
{
    QuadVertex corners[4] = {{quad.left, quad.top, quad.u0, quad.v0, {}},
                             {quad.right, quad.top, quad.u1, quad.v0, {}},
                             {quad.right, quad.bottom, quad.u1, quad.v1, {}},
                             {quad.left, quad.bottom, quad.u0, quad.v1, {}}};
    for (QuadVertex& corner : corners)
        UnpackArgb(argb, corner.rgba);
    const auto first = static_cast<uint32_t>(quadVertices.size());
    for (int index : {0, 1, 2, 0, 2, 3})
        quadVertices.push_back(corners[index]);
    BatchFor(BatchKind::Quads, texture, first).count += 6;
}

void FlushBatches()
{
    if (batches.empty())
        return;
    Upload(linePipeline, lineVertices);
    Upload(quadPipeline, quadVertices);
    glActiveTexture(GL_TEXTURE0);
    for (const Batch& batch : batches) {
        if (batch.kind == BatchKind::Lines)
            DrawLineBatch(batch);
        else
            DrawQuadBatch(batch);
    }
    CurrentFrameStats.drawCalls += static_cast<uint32_t>(batches.size());
    glBindVertexArray(0);
    batches.clear();
    lineVertices.clear();
    quadVertices.clear();
}
