// The Menu scene: the title and the selected entry's caption built of physics
// boxes, captions shattering on a move, the fade on confirmation.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <box2d/box2d.h>

#include "shell/Shell.h"

constexpr int32_t TitleColumns = 43;
constexpr int32_t CaptionColumns = 42;
constexpr int32_t BitmapRows = 6;

// Rows of 'X' (a box) and '.' (empty), row 0 at the top.
extern const char* const TitleBitmap[BitmapRows];
extern const char* const CaptionBitmaps[4][BitmapRows];

class Menu : public Scene {
public:
    void Init(int32_t argument) override;
    void Draw() override;
    void Update() override;
    void HandleMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    std::unique_ptr<b2World> world;
    std::vector<b2Body*> bodies;  // every box, in creation order
    int32_t selectSound = -1;
    int32_t enterSound = -1;
    int32_t music = -1;
    int32_t selection = 0;        // entry 0 to 3; 4 after the idle timeout
    uint32_t confirmFrame = 0;    // 0 while not confirmed
    uint32_t frame = 0;
    uint32_t lastInputFrame = 0;
};

// Frame of the last accepted selection move; survives from one Menu to the next.
extern uint32_t lastMoveFrame;

b2Body* CreateMenuBox(Menu& menu, int32_t kind, float density, float halfSize, float angle, float x, float y);
void ShowCaption(Menu& menu, int32_t newSelection);
void ConfirmSelection(Menu& menu);
void RemoveFallenBoxes(Menu& menu);
