// Scene switch, window procedure, message queue and loop. No SDL here: the
// window's events come in through PollPlatformMessage.
#include <deque>

#include "game/Game.h"
#include "input/Input.h"
#include "menu/Menu.h"
#include "shell/Shell.h"
#include "sound/Sound.h"

SceneRequestRecord SceneRequest = {0, 0};
std::unique_ptr<Scene> CurrentScene;
WindowHandle MainWindow = nullptr;
bool (*PollPlatformMessage)(Message& message) = nullptr;
void (*MusicEventHandler)() = OnMusicEvent;

namespace {

std::deque<Message> postedMessages;
bool quitPending = false;
int32_t quitCode = 0;

std::unique_ptr<Scene> CreateGameScene(int32_t sceneId)
{
    switch (sceneId) {
    case 1:
        return std::make_unique<Menu>();
    case 2:
        return std::make_unique<Game>();
    default:
        return nullptr;
    }
}

// A joystick button shares WM_KEYDOWN with the keyboard; only a real key is Escape.
bool IsEscapeKey(uintptr_t wParam, intptr_t lParam)
{
    return wParam == static_cast<uintptr_t>(VK_ESCAPE) && (lParam & JoystickFlag) == 0;
}

void RunFrame()
{
    StepScene();
    if (CurrentScene)
        CurrentScene->Draw();
}

}  // namespace

std::unique_ptr<Scene> (*CreateSceneForId)(int32_t sceneId) = CreateGameScene;

void RequestScene(int32_t sceneId, int32_t argument)
{
    SceneRequest = {sceneId, argument};
}

void StepScene()
{
    if (SceneRequest.nextSceneId != 0) {
        const SceneRequestRecord request = SceneRequest;
        // Cleared before Init, so that a request filed by Init itself is kept for the next frame.
        SceneRequest.nextSceneId = 0;
        CurrentScene.reset();  // the old scene goes before the new one is built
        CurrentScene = CreateSceneForId(request.nextSceneId);
        if (CurrentScene)
            CurrentScene->Init(request.initArgument);
    }
    if (CurrentScene)
        CurrentScene->Update();
}

intptr_t MainWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (CurrentScene)
        CurrentScene->HandleMessage(window, message, wParam, lParam);
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (IsEscapeKey(wParam, lParam))
            PostQuitMessage(0);
        return 0;
    case WM_MUSICEVENT:
        MusicEventHandler();
        return 0;
    default:
        return 0;
    }
}

void PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    postedMessages.push_back({message, wParam, lParam});
}

// Like Windows, the quit is a flag rather than a queued message: it comes out
// once the posted messages are gone, ahead of the window's events, so a stream
// of mouse movement cannot hold the program open.
void PostQuitMessage(int32_t exitCode)
{
    quitPending = true;
    quitCode = exitCode;
}

void DestroyWindow(WindowHandle window)
{
    MainWindowProc(window, WM_DESTROY, 0, 0);
}

bool PeekMessage(Message& message)
{
    if (!postedMessages.empty()) {
        message = postedMessages.front();
        postedMessages.pop_front();
        return true;
    }
    if (quitPending) {
        quitPending = false;
        message = {WM_QUIT, static_cast<uintptr_t>(quitCode), 0};
        return true;
    }
    return PollPlatformMessage && PollPlatformMessage(message);
}

void ClearMessageQueue()
{
    postedMessages.clear();
    quitPending = false;
}

void RunMessageLoop()
{
    Message message = {};
    for (;;) {
        if (!PeekMessage(message)) {
            RunFrame();
            continue;
        }
        MainWindowProc(MainWindow, message.message, message.wParam, message.lParam);
        if (message.message == WM_QUIT)
            break;
    }
    CurrentScene.reset();
}
