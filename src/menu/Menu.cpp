// The title menu.
#include "menu/Menu.h"

#include <algorithm>
#include <cmath>

#include "input/Input.h"
#include "render/Render.h"
#include "sound/Sound.h"

uint32_t lastMoveFrame = 0;

// Letters of three to seven cells, one empty column between them.
const char* const TitleBitmap[BitmapRows] = {
    "X.....X.XXX.XXX..XXXX.X....X...X.X...X.XXXX",
    "XX...XX..X..X..X.X....X....X...X.XX..X.X...",
    "X.X.X.X..X..X..X.X....X....X...X.X.X.X.X...",
    "X..X..X..X..XXX..XXXX.X....X...X.X..XX.XXXX",
    "X.....X..X..X..X.X....X....X...X.X...X.X...",
    "X.....X.XXX.X..X.XXXX.XXXX..XXX..X...X.XXXX",
};

const char* const CaptionBitmaps[4][BitmapRows] = {
    {
        "...........X...X..XX...XX..XXX............",
        "...........X...X.X..X.X..X.X..X...........",
        "............X.X...X......X.X..X...........",
        "............X.X....XX...X..XXX............",
        ".............X...X..X..X...X..............",
        ".............X....XX..XXXX.X..............",
    },
    {
        "...........X...X..XX...XX..XXX............",
        "...........X...X.X..X.X..X.X..X...........",
        "............X.X..XX...X....X..X...........",
        "............X.X....XX.X....XXX............",
        ".............X...X..X.X..X.X..............",
        ".............X....XX...XX..X..............",
    },
    {
        ".XX..X...X.XXX..X...X.XXX.X...X...X...X...",
        "X..X.X...X.X..X.X...X..X..X...X..X.X..X...",
        "XX...X...X.X..X..X.X...X...X.X..X...X.X...",
        "..XX.X...X.XXX...X.X...X...X.X..XXXXX.X...",
        "X..X.X...X.X..X...X....X....X...X...X.X...",
        ".XX...XXX..X..X...X...XXX...X...X...X.XXXX",
    },
    {
        "...........XXXX.X..X.XXX.XXXXX............",
        "...........X....X..X..X....X..............",
        "...........X.....XX...X....X..............",
        "...........XXXX..XX...X....X..............",
        "...........X....X..X..X....X..............",
        "...........XXXX.X..X.XXX...X..............",
    },
};

namespace {

constexpr int32_t TitleKind = 0;
constexpr int32_t CaptionKind = 5;
constexpr int32_t MovedPieceKind = 6;
constexpr float TitleHalfSize = 0.375f;
constexpr float CaptionHalfSize = 0.25f;
// Pieces appear this far above the box they replace.
constexpr float PieceLift = 3.75f;
constexpr uint32_t OpeningFrames = 120;
constexpr uint32_t FadeFrames = 120;
// The action waits for the fade and a few dark frames after it.
constexpr uint32_t ActionDelay = 130;
constexpr uint32_t IdleFrames = 600;
constexpr uint32_t MoveInterval = 30;
constexpr int32_t DemoSelection = 4;
constexpr int32_t DemoMode = 3;
constexpr int32_t StickThreshold = 100;
constexpr float PushStrength = 100.0f;
// Keeps a push at the click point finite.
constexpr float MinimumPushDistance2 = 0.1f;
constexpr float FallenBelow = -20.0f;

int32_t BoxKind(b2Body* body)
{
    return static_cast<int32_t>(body->GetFixtureList()->GetUserData().pointer);
}

void BuildBitmap(Menu& menu, const char* const* rows, int32_t columns, int32_t kind, float halfSize,
                 float spacing, float left, float top)
{
    for (int32_t r = 0; r < BitmapRows; ++r)
        for (int32_t c = 0; c < columns; ++c)
            if (rows[r][c] == 'X')
                CreateMenuBox(menu, kind, 0, halfSize, 0, (c + left) * spacing, top - r * spacing);
}

// Replaces every shown caption box by a loose piece of pieceKind thrown away
// from the middle of the screen.
void ShatterCaption(Menu& menu, int32_t pieceKind, b2Vec2 impulse)
{
    std::vector<b2Body*> caption;
    std::vector<b2Body*> rest;
    for (b2Body* body : menu.bodies)
        (BoxKind(body) == CaptionKind ? caption : rest).push_back(body);
    menu.bodies = rest;
    for (b2Body* box : caption) {
        const b2Vec2 at = box->GetPosition();
        b2Body* piece = CreateMenuBox(menu, pieceKind, 1, CaptionHalfSize, 0, at.x, at.y + PieceLift);
        const float side = at.x >= 0 ? 1.0f : -1.0f;
        piece->ApplyLinearImpulse(b2Vec2(side * impulse.x, impulse.y), piece->GetPosition(), true);
        menu.world->DestroyBody(box);
    }
}

void MoveSelection(Menu& menu, int32_t step)
{
    lastMoveFrame = menu.frame;
    ShowCaption(menu, menu.selection + step);
    PlaySound(false, menu.selectSound);
}

bool MoveAllowed(const Menu& menu)
{
    return menu.confirmFrame == 0 && menu.frame - lastMoveFrame >= MoveInterval;
}

void PlaceOpeningCamera(uint32_t frame)
{
    const float pullBack = std::sin(frame / float(OpeningFrames) * (b2_pi / 2));
    SetViewCamera(glm::vec3(0, 10, -50 * pullBack), glm::vec3(0, 10, 0), glm::vec3(0, 1, 0));
}

void CheckIdleTimeout(Menu& menu)
{
    if (menu.frame - menu.lastInputFrame >= IdleFrames && menu.confirmFrame == 0) {
        menu.confirmFrame = menu.frame;
        menu.selection = DemoSelection;
    }
}

void ActOnSelection(const Menu& menu)
{
    if (menu.selection == 3)
        PostQuitMessage(0);
    else
        RequestScene(2, menu.selection == DemoSelection ? DemoMode : menu.selection);
}

uint32_t FadedColour(uint32_t colour, int32_t kind, uint32_t fadeFrames)
{
    const uint32_t e = std::min(fadeFrames, FadeFrames);
    const float full = kind == MovedPieceKind ? 128.0f : 255.0f;
    const uint32_t alpha = static_cast<uint32_t>(full - e * full / FadeFrames);
    return (colour & 0x00FFFFFF) | alpha << 24;
}

struct KeyActions {
    bool up;
    bool down;
    bool next;
};

// A real key is looked up in both players' keys, a joystick button in the
// buttons of the player owning that joystick (none when nobody owns it).
KeyActions ActionsOfKey(uintptr_t wParam, intptr_t lParam)
{
    const int32_t code = static_cast<int32_t>(wParam);
    const bool fromJoystick = (lParam & JoystickFlag) != 0;
    const int32_t player = fromJoystick ? ControlledPlayer(static_cast<int32_t>(lParam & ~JoystickFlag)) : -1;
    auto bound = [&](int32_t action) {
        if (fromJoystick)
            return player >= 0 && GameSettings.joyButtons[player][action] == code;
        return GameSettings.keyCodes[0][action] == code || GameSettings.keyCodes[1][action] == code;
    };
    return {bound(UP), bound(DOWN), bound(NEXT)};
}

void HandleKeyDown(Menu& menu, uintptr_t wParam, intptr_t lParam)
{
    menu.lastInputFrame = menu.frame;
    const KeyActions key = ActionsOfKey(wParam, lParam);
    if (key.up) {
        if (!MoveAllowed(menu))
            return;
        MoveSelection(menu, -1);
    }
    if (key.down) {
        if (!MoveAllowed(menu))
            return;
        MoveSelection(menu, +1);
    }
    if (key.next)
        ConfirmSelection(menu);
}

// Blows the loose pieces away from the click, harder the closer they are.
void PushFromClick(Menu& menu, intptr_t lParam)
{
    menu.lastInputFrame = menu.frame;
    const float x = static_cast<float>(lParam & 0xFFFF);
    const float y = static_cast<float>((lParam >> 16) & 0xFFFF);
    const b2Vec2 click((x - 400) / 10, (300 - y) / 10 + 10);
    for (b2Body* body : menu.bodies) {
        const b2Vec2 d = body->GetPosition() - click;
        const float r2 = std::max(d.LengthSquared(), MinimumPushDistance2);
        body->ApplyLinearImpulse((PushStrength / r2) * d, body->GetPosition(), true);
    }
}

// A held stick repeats the player's up or down key every frame; the move
// interval turns that into one move per half second.
void FollowStick(uintptr_t joystick, const JoystickStateRecord* state)
{
    const int32_t player = ControlledPlayer(static_cast<int32_t>(joystick));
    if (player < 0 || !GameSettings.useAxis[player])
        return;
    if (state->lY > StickThreshold)
        MainWindowProc(MainWindow, WM_KEYDOWN, GameSettings.keyCodes[player][DOWN], 0);
    if (state->lY < -StickThreshold)
        MainWindowProc(MainWindow, WM_KEYDOWN, GameSettings.keyCodes[player][UP], 0);
}

}  // namespace

b2Body* CreateMenuBox(Menu& menu, int32_t kind, float density, float halfSize, float angle, float x, float y)
{
    b2BodyDef bodyDef;
    bodyDef.type = density == 0 ? b2_staticBody : b2_dynamicBody;
    bodyDef.position.Set(x, y);
    bodyDef.linearDamping = 0.9f;
    bodyDef.angularDamping = 0.9f;
    b2Body* body = menu.world->CreateBody(&bodyDef);

    b2PolygonShape box;
    box.SetAsBox(halfSize, halfSize, b2Vec2(0, 0), angle);
    b2FixtureDef fixtureDef;
    fixtureDef.shape = &box;
    fixtureDef.density = density;
    fixtureDef.friction = 0.3f;
    fixtureDef.restitution = 0.3f;
    fixtureDef.userData.pointer = static_cast<uintptr_t>(kind);
    body->CreateFixture(&fixtureDef);

    menu.bodies.push_back(body);
    return body;
}

void ShowCaption(Menu& menu, int32_t newSelection)
{
    ShatterCaption(menu, MovedPieceKind, b2Vec2(4, 8));
    while (newSelection < 0)
        newSelection += 4;
    menu.selection = newSelection % 4;
    BuildBitmap(menu, CaptionBitmaps[menu.selection], CaptionColumns, CaptionKind, CaptionHalfSize, 0.75f, -21, 0);
}

void ConfirmSelection(Menu& menu)
{
    if (menu.frame < OpeningFrames) {
        menu.frame = OpeningFrames - 1;
        return;
    }
    if (menu.confirmFrame != 0) {
        menu.frame = menu.confirmFrame + ActionDelay;
        return;
    }
    PlaySound(false, menu.enterSound);
    ShatterCaption(menu, CaptionKind, b2Vec2(2, 10));
    menu.confirmFrame = menu.frame;
}

void RemoveFallenBoxes(Menu& menu)
{
    auto fallen = [&menu](b2Body* body) {
        if (body->GetPosition().y >= FallenBelow)
            return false;
        menu.world->DestroyBody(body);
        return true;
    };
    menu.bodies.erase(std::remove_if(menu.bodies.begin(), menu.bodies.end(), fallen), menu.bodies.end());
}

void Menu::Init(int32_t)
{
    world = std::make_unique<b2World>(b2Vec2(0, -40));
    world->SetAllowSleeping(true);
    BuildBitmap(*this, TitleBitmap, TitleColumns, TitleKind, TitleHalfSize, 1.125f, -21.5f, 20);
    music = LoadSound("Inorganic substance.mp3");
    selectSound = LoadSound("selSnd.wav");
    enterSound = LoadSound("entSnd.wav");
    confirmFrame = 0;
    frame = 0;
    lastInputFrame = 0;
    ShowCaption(*this, 0);
    Sleep(1);
    PlaySound(true, music);
}

void Menu::Update()
{
    frame += 1;
    if (frame <= OpeningFrames)
        PlaceOpeningCamera(frame);
    CheckIdleTimeout(*this);
    PollJoysticks();
    world->Step(1.0f / 48, StepIterations(), StepIterations());
    RemoveFallenBoxes(*this);
    if (confirmFrame != 0 && frame - confirmFrame > ActionDelay)
        ActOnSelection(*this);
}

void Menu::Draw()
{
    ClearFrame(0x00000000);
    BeginScene();
    for (b2Body* body : bodies) {
        const glm::mat4 m = BodyWorldMatrix(body);
        for (b2Fixture* f = body->GetFixtureList(); f; f = f->GetNext()) {
            const int32_t kind = static_cast<int32_t>(f->GetUserData().pointer & 0xFF);
            uint32_t colour = BlockColours[kind];
            if (confirmFrame != 0)
                colour = FadedColour(colour, kind, frame - confirmFrame);
            DrawShapeOutline(f, m, colour);
        }
    }
    EndScene();
    PresentFrame();
}

void Menu::HandleMessage(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        HandleKeyDown(*this, wParam, lParam);
        break;
    case WM_LBUTTONDOWN:
        ConfirmSelection(*this);
        break;
    case WM_RBUTTONDOWN:
        PushFromClick(*this, lParam);
        break;
    case WM_USER:
        FollowStick(wParam, reinterpret_cast<const JoystickStateRecord*>(lParam));
        break;
    default:
        break;
    }
}
