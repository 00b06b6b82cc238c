// The Game scene's commands: pause, menus, restart, leaving, skipping.
#include "game/Game.h"
#include "input/Input.h"
#include "sound/Sound.h"

namespace {
// The menus' cursor moves, one timestamp for keys and buttons and one for the stick;
// shared by every Game of the run.
uint32_t lastKeyMove = 0;
uint32_t lastStickMove = 0;

constexpr uint32_t CursorRepeatMs = 300;
constexpr int32_t StickThreshold = 200;
constexpr uintptr_t KeyM = 0x4D;

// A key message from a joystick carries the flag and the joystick's index in lParam.
struct KeySource {
    bool joystick;
    int32_t player;  // the joystick's player, -1 for none; unused for a real key
};

KeySource SourceOf(intptr_t lParam)
{
    if ((lParam & JoystickFlag) == 0)
        return {false, -1};
    return {true, ControlledPlayer(static_cast<int32_t>(lParam & ~JoystickFlag))};
}

// Either player's key, or the button of the joystick's own player.
bool IsAction(uintptr_t code, KeySource source, int32_t action)
{
    if (source.joystick)
        return code == static_cast<uintptr_t>(GameSettings.joyButtons[source.player][action]);
    return code == static_cast<uintptr_t>(GameSettings.keyCodes[0][action]) ||
           code == static_cast<uintptr_t>(GameSettings.keyCodes[1][action]);
}

bool MenuOpen(const Game& game)
{
    return game.paused || (game.resultsShown && (game.fill[0] >= FillLimit || game.fill[1] >= FillLimit));
}

bool CursorMayMove(uint32_t& lastMove)
{
    const uint32_t now = timeGetTime();
    if (now - lastMove < CursorRepeatMs)
        return false;
    lastMove = now;
    return true;
}

// The pause menu's top entry is "CONTINUE" (2), the results menu's "RETRY" (1).
void RaiseCursor(Game& game, uint32_t& lastMove)
{
    if (!CursorMayMove(lastMove))
        return;
    const int32_t top = game.paused ? 2 : 1;
    if (game.menuCursor < top) {
        ++game.menuCursor;
        PlaySound(false, game.selectSound);
    }
}

void LowerCursor(Game& game, uint32_t& lastMove)
{
    if (!CursorMayMove(lastMove))
        return;
    if (game.menuCursor > 0) {
        --game.menuCursor;
        PlaySound(false, game.selectSound);
    }
}

// True when the menu took the message.
bool WorkMenu(Game& game, uintptr_t code, KeySource source)
{
    if (IsAction(code, source, UP))
        RaiseCursor(game, lastKeyMove);
    else if (IsAction(code, source, DOWN))
        LowerCursor(game, lastKeyMove);
    else if (IsAction(code, source, NEXT))
        ConfirmMenuChoice(game);
    else
        return false;
    return true;
}

void RestartMatch(Game& game)
{
    ResetMatch(game);
    game.level = 1;
    game.score = 0;
}

void StartLeaving(Game& game)
{
    if (game.quitFrame == 0)
        game.quitFrame = game.frame;
}

void OnKey(Game& game, uintptr_t code)
{
    if (code == static_cast<uintptr_t>(VK_F2)) {
        game.paused = !game.paused;
        if (game.paused)
            game.menuCursor = 2;  // "CONTINUE"
    }
    if (game.paused)
        return;
    if (code == KeyM)
        StartLeaving(game);
    else if (IsAction(code, {false, -1}, NEXT))
        SkipAction(game);
    else if (code == static_cast<uintptr_t>(VK_F1))
        RestartMatch(game);
}

// In the demonstration any key or button leaves; a joystick without a player is ignored otherwise.
void OnKeyDown(Game& game, uintptr_t code, intptr_t lParam)
{
    if (game.mode == 3) {
        StartLeaving(game);
        return;
    }
    const KeySource source = SourceOf(lParam);
    if (source.joystick && source.player < 0)
        return;
    if (MenuOpen(game) && WorkMenu(game, code, source))
        return;
    if (!source.joystick)
        OnKey(game, code);
    else if (IsAction(code, source, NEXT))
        SkipAction(game);
}

void OnJoystickState(Game& game, int32_t joystick, const JoystickStateRecord& state)
{
    if (ControlledPlayer(joystick) < 0)
        return;
    if (MenuOpen(game)) {
        if (state.lY > StickThreshold)
            LowerCursor(game, lastStickMove);
        else if (state.lY < -StickThreshold)
            RaiseCursor(game, lastStickMove);
    }
    SteerByStick(game, joystick, state.lX, state.lY);
}
}  // namespace

void Game::HandleMessage(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == WM_KEYDOWN)
        OnKeyDown(*this, wParam, lParam);
    else if (message == WM_LBUTTONDOWN)
        SkipAction(*this);
    else if (message == WM_USER && lParam != 0)
        OnJoystickState(*this, static_cast<int32_t>(wParam), *reinterpret_cast<const JoystickStateRecord*>(lParam));
}

void ConfirmMenuChoice(Game& game)
{
    if (game.quitFrame != 0)
        return;
    if (game.menuCursor == 0)
        game.quitFrame = game.frame;
    else if (game.menuCursor == 1)
        RestartMatch(game);
    else if (game.menuCursor == 2)
        game.paused = !game.paused;
    PlaySound(false, game.enterSound);
    game.paused = false;
}

// Ends the opening at once, and cuts the leaving delay short so the next frame leaves.
void SkipAction(Game& game)
{
    if (game.frame < 120)
        game.frame = 120 - game.frameStep;
    if (game.quitFrame != 0)
        game.frame = game.quitFrame + 120;
}
