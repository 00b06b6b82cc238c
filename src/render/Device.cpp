// The OpenGL device, the camera and the frame bracket.
#include "render/Render.h"

const uint32_t BlockColours[7] = {0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF00FFFF, 0xFFFFFF00, 0xFFFFFFFF, 0x80FFFFFF};
bool DeviceReady = false;
glm::mat4 Projection(1.0f);
CameraRecord Camera = {};

bool InitGraphics(bool) { return false; }
bool SetViewCamera(glm::vec3 eye, glm::vec3 target, glm::vec3 up)
{
    Camera.eye = eye;
    Camera.target = target;
    Camera.up = up;
    return true;
}
void ClearFrame(uint32_t) {}
void BeginScene() {}
void EndScene() {}
void PresentFrame() {}
void BeginSprites() {}
void EndSprites() {}
FrameStats LastFrameStats() { return {}; }
bool ReadBackBuffer(uint8_t*) { return false; }
void WindowToBackBuffer(int32_t&, int32_t&) {}
