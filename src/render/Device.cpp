// The OpenGL device, the camera and the frame bracket. The picture is drawn at
// 800 x 600 into a framebuffer of its own and shown scaled in the window, so a
// full-screen desktop of any size shows the same picture with bars at the sides.
#include <algorithm>
#include <cmath>

#include <SDL.h>
#include <glm/gtc/constants.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "render/RenderLocal.h"
#include "shell/Shell.h"

const uint32_t BlockColours[7] = {0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF00FFFF, 0xFFFFFF00, 0xFFFFFFFF, 0x80FFFFFF};
bool DeviceReady = false;
glm::mat4 Projection(1.0f);
CameraRecord Camera = {};
bool FramePacing = true;

namespace {

// The picture target, made by InitGraphics.
struct PictureTarget {
    GLuint framebuffer;
    GLuint colour;
    GLuint depth;
};

// Frame pacing: the game counts time in frames of 1/60 s. Vsync is trusted only
// where the display runs at about 60 Hz and the swaps are seen to wait for it;
// until then, and wherever it fails, a timer holds each frame to 1/60 s.
enum class PacingMode { Timer, VsyncOnTrial, Vsync };

struct Pacing {
    PacingMode mode;
    int32_t swapInterval;  // what the context was last given, -1 unknown
    uint32_t trialFrames;  // presents seen while vsync is on trial
    uint64_t trialStart;
    uint64_t trialWaited;  // timer waits on top of the swaps during the trial
    uint64_t deadline;     // when the present of the next frame may return; 0 none yet
};

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
PictureTarget picture = {};
Pacing pacing = {PacingMode::Timer, -1, 0, 0, 0, 0};
FrameStats lastFrameStats = {};

// The presents after start-up that decide whether vsync really paces the frames.
constexpr uint32_t TrialSkippedFrames = 10;
constexpr uint32_t TrialTimedFrames = 30;

bool CreatePictureTarget()
{
    glGenRenderbuffers(1, &picture.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, picture.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, BackBufferWidth, BackBufferHeight);
    glGenRenderbuffers(1, &picture.depth);
    glBindRenderbuffer(GL_RENDERBUFFER, picture.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, BackBufferWidth, BackBufferHeight);
    glGenFramebuffers(1, &picture.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, picture.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, picture.depth);
    return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// The picture is opaque, as a back buffer is: blending leaves its alpha at 1. An
// equal depth passes, so a line drawn again over itself blends again.
void SetFixedStates()
{
    glViewport(0, 0, BackBufferWidth, BackBufferHeight);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
}

// The window area the 800 x 600 picture fills: scaled to fit, aspect kept.
SDL_Rect FittedPicture(int32_t width, int32_t height)
{
    const double scale = std::min(width / double(BackBufferWidth), height / double(BackBufferHeight));
    const auto fittedWidth = static_cast<int32_t>(BackBufferWidth * scale + 0.5);
    const auto fittedHeight = static_cast<int32_t>(BackBufferHeight * scale + 0.5);
    return {(width - fittedWidth) / 2, (height - fittedHeight) / 2, fittedWidth, fittedHeight};
}

bool DisplayRunsAt60Hz()
{
    SDL_DisplayMode mode = {};
    if (SDL_GetWindowDisplayMode(window, &mode) != 0 || mode.refresh_rate == 0)
        return false;
    return mode.refresh_rate >= 59 && mode.refresh_rate <= 61;
}

void ChoosePacing()
{
    const bool vsync = DisplayRunsAt60Hz() && SDL_GL_SetSwapInterval(1) == 0;
    pacing.mode = vsync ? PacingMode::VsyncOnTrial : PacingMode::Timer;
    pacing.swapInterval = vsync ? 1 : -1;
}

void ApplySwapInterval(int32_t interval)
{
    if (pacing.swapInterval == interval)
        return;
    SDL_GL_SetSwapInterval(interval);
    pacing.swapInterval = interval;
}

void WaitUntil(uint64_t deadline)
{
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    for (uint64_t now = SDL_GetPerformanceCounter(); now < deadline; now = SDL_GetPerformanceCounter()) {
        const uint64_t milliseconds = (deadline - now) * 1000 / frequency;
        if (milliseconds >= 2)
            SDL_Delay(static_cast<uint32_t>(milliseconds - 1));
    }
}

// Each present returns one sixtieth of a second after the previous one; a frame
// that ran late is caught up by the next, a long stall starts the count afresh.
// Returns the time waited, in performance-counter ticks.
uint64_t WaitForFrameDeadline()
{
    const uint64_t period = SDL_GetPerformanceFrequency() / 60;
    const uint64_t now = SDL_GetPerformanceCounter();
    uint64_t waited = 0;
    if (pacing.deadline == 0 || now > pacing.deadline + period) {
        pacing.deadline = now;
    } else {
        WaitUntil(pacing.deadline);
        waited = SDL_GetPerformanceCounter() - now;
    }
    pacing.deadline += period;
    return waited;
}

// Swaps that wait for a 60 Hz retrace leave the timer nothing to wait for. A swap
// that does not wait (a virtual display) or waits for another rate puts the
// frames on the timer for the rest of the run.
void JudgeVsync(uint64_t waited)
{
    const uint64_t now = SDL_GetPerformanceCounter();
    if (++pacing.trialFrames <= TrialSkippedFrames) {
        pacing.trialStart = now;
        return;
    }
    pacing.trialWaited += waited;
    if (pacing.trialFrames < TrialSkippedFrames + TrialTimedFrames)
        return;
    const double frequency = double(SDL_GetPerformanceFrequency());
    const double frameSeconds = (now - pacing.trialStart) / frequency / TrialTimedFrames;
    const double waitSeconds = pacing.trialWaited / frequency / TrialTimedFrames;
    const bool paced = waitSeconds < 0.002 && frameSeconds < 1.0 / 54;
    pacing.mode = paced ? PacingMode::Vsync : PacingMode::Timer;
}

void PaceFrame()
{
    if (!FramePacing) {
        pacing.deadline = 0;
        return;
    }
    if (pacing.mode == PacingMode::Vsync)
        return;
    const uint64_t waited = WaitForFrameDeadline();
    if (pacing.mode == PacingMode::VsyncOnTrial)
        JudgeVsync(waited);
}

// The picture scaled into the window's back buffer.
void BlitPicture()
{
    int32_t width = 0;
    int32_t height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    const SDL_Rect area = FittedPicture(width, height);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, picture.framebuffer);
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBlitFramebuffer(0, 0, BackBufferWidth, BackBufferHeight, area.x, height - area.y - area.h, area.x + area.w,
                      height - area.y, GL_COLOR_BUFFER_BIT, GL_LINEAR);
}

void SwapPicture()
{
    ApplySwapInterval(FramePacing && pacing.mode != PacingMode::Timer ? 1 : 0);
    SDL_GL_SwapWindow(window);
    glBindFramebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    glViewport(0, 0, BackBufferWidth, BackBufferHeight);
}

// A desktop full-screen window. It is first made as large as the display
// itself, since without a window manager (a bare X server) the full-screen
// request alone leaves the window at its old size.
void CoverDesktop()
{
    SDL_Rect bounds = {};
    if (SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(window), &bounds) == 0) {
        SDL_SetWindowBordered(window, SDL_FALSE);
        SDL_SetWindowPosition(window, bounds.x, bounds.y);
        SDL_SetWindowSize(window, bounds.w, bounds.h);
    }
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

bool CreateContext(bool windowed)
{
    window = static_cast<SDL_Window*>(MainWindow);
    if (!window)
        return false;
    if (!windowed)
        CoverDesktop();
    context = SDL_GL_CreateContext(window);
    if (!context)
        return false;
    if (epoxy_is_desktop_gl() && epoxy_gl_version() >= 33)
        return true;
    SDL_GL_DeleteContext(context);
    context = nullptr;
    return false;
}

}  // namespace

bool InitGraphics(bool windowed)
{
    if (DeviceReady || !CreateContext(windowed))
        return DeviceReady;
    if (!CreatePictureTarget() || !CreateBatchPipeline())
        return false;
    SetFixedStates();
    Projection = glm::perspectiveLH_NO(glm::quarter_pi<float>(), 4.0f / 3.0f, 1.0f, 1000.0f);
    ChoosePacing();
    DeviceReady = true;
    return true;
}

void WindowToBackBuffer(int32_t& x, int32_t& y)
{
    if (!DeviceReady)
        return;
    int32_t width = 0;
    int32_t height = 0;
    SDL_GetWindowSize(window, &width, &height);
    const SDL_Rect area = FittedPicture(width, height);
    if (area.w <= 0 || area.h <= 0)
        return;
    x = static_cast<int32_t>(std::floor((x - area.x) * double(BackBufferWidth) / area.w));
    y = static_cast<int32_t>(std::floor((y - area.y) * double(BackBufferHeight) / area.h));
}

bool SetViewCamera(glm::vec3 eye, glm::vec3 target, glm::vec3 up)
{
    Camera.eye = eye;
    Camera.target = target;
    Camera.up = up;
    Camera.view = glm::lookAtLH(eye, target, up);
    CameraChanged();
    return true;
}

void ClearFrame(uint32_t colour)
{
    if (!DeviceReady)
        return;
    FlushBatches();
    glClearColor(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f, 1.0f);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Drawing is queued as it comes; the bracket's end is where it reaches the GPU.
void BeginScene() {}

void EndScene()
{
    if (DeviceReady)
        FlushBatches();
}

void PresentFrame()
{
    if (!DeviceReady)
        return;
    FlushBatches();
    BlitPicture();
    // On the timer a frame waits before its swap rather than after it, so that the
    // frames reach the screen a sixtieth of a second apart however long each took.
    const bool timed = FramePacing && pacing.mode == PacingMode::Timer;
    if (timed)
        WaitForFrameDeadline();
    SwapPicture();
    if (!timed)
        PaceFrame();
    lastFrameStats = CurrentFrameStats;
    CurrentFrameStats = {};
}

FrameStats LastFrameStats()
{
    return lastFrameStats;
}

bool ReadBackBuffer(uint8_t* rgba)
{
    if (!DeviceReady)
        return false;
    FlushBatches();
    glBindFramebuffer(GL_FRAMEBUFFER, picture.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, BackBufferWidth, BackBufferHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const size_t rowBytes = BackBufferWidth * 4;
    for (int32_t row = 0; row < BackBufferHeight / 2; ++row)
        std::swap_ranges(rgba + row * rowBytes, rgba + (row + 1) * rowBytes,
                         rgba + (BackBufferHeight - 1 - row) * rowBytes);
    return true;
}
