// Scene switch, window procedure, message queue and loop.
#include "shell/Shell.h"

SceneRequestRecord SceneRequest = {0, 0};
std::unique_ptr<Scene> CurrentScene;
WindowHandle MainWindow = nullptr;

void RequestScene(int32_t sceneId, int32_t argument)
{
    SceneRequest = {sceneId, argument};
}

void StepScene() {}
void PostMessage(uint32_t, uintptr_t, intptr_t) {}
void PostQuitMessage(int32_t) {}
intptr_t MainWindowProc(WindowHandle, uint32_t, uintptr_t, intptr_t) { return 0; }
