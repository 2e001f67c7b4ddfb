// The control port: its switches, its commands and the dead man's holds.
#include "control/control_port.h"

#include <stdarg.h>

#include "commands/camera_commands.h"
#include "control/camera_connection.h"
#include "control/control_state.h"
#include "control/panel_actions.h"
#include "control/panel_lights.h"
#include "control/panel_window.h"
#include "control/press_and_hold.h"
#include "control/remote_keys.h"
#include "control/remote_ramp.h"
#include "link/result_codes.h"
#include "panel/indicator_light.h"
#include "panel/panel_button.h"
#include "panel/panel_layout.h"
#include "services/line_server.h"
#include "services/command_words.h"
#include "services/settings_file.h"
#include "services/wait_cursor.h"
#include "services/window_messages.h"

ControlPortOptions controlPortOptions;

static LineServer server;
static int serverRunning;
static DWORD holdTimeMs = CONTROL_HOLD_DEFAULT_MS;

// --- Switches ---

// A decimal number of at most max, digits only; *text moves past it. 0 when there is none.
static int TakeNumber(const char** text, DWORD max, DWORD* value)
{
    const char* digits = *text;
    DWORD number = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits)
    {
        number = number * 10 + (DWORD)(*digits - '0');
        if (number > max)
            return 0;
    }
    if (digits == *text)
        return 0;
    *text = digits;
    *value = number;
    return 1;
}

// a.b.c.d: four numbers of 0..255; *text moves past it.
static int TakeAddress(const char** text, ULONG* address)
{
    const char* at = *text;
    ULONG bytes = 0;
    for (int i = 0; i < 4; ++i)
    {
        DWORD part;
        if ((i > 0 && *at++ != '.') || !TakeNumber(&at, 255, &part))
            return 0;
        bytes |= part << (8 * i); // network byte order: the first number is the lowest byte
    }
    *text = at;
    *address = bytes;
    return 1;
}

void ResetControlPortOptions(ControlPortOptions* options)
{
    options->enabled = 0;
    options->address = CONTROL_DEFAULT_ADDRESS;
    options->port = 0;
    options->holdMs = CONTROL_HOLD_DEFAULT_MS;
}

static ControlSwitch TakeHoldSwitch(ControlPortOptions* options, const char* rest)
{
    DWORD ms;
    if (*rest++ != ':' || !TakeNumber(&rest, CONTROL_HOLD_MAX_MS, &ms) || *rest ||
        ms < CONTROL_HOLD_MIN_MS)
        return CONTROL_SWITCH_INVALID;
    options->holdMs = ms;
    return CONTROL_SWITCH_TAKEN;
}

static ControlSwitch TakePortSwitch(ControlPortOptions* options, const char* rest)
{
    if (*rest++ != ':')
        return CONTROL_SWITCH_INVALID;
    ULONG address = CONTROL_DEFAULT_ADDRESS;
    const char* afterAddress = rest;
    if (TakeAddress(&afterAddress, &address) && *afterAddress == ':')
        rest = afterAddress + 1;
    else
        address = CONTROL_DEFAULT_ADDRESS;
    DWORD port;
    if (!TakeNumber(&rest, 65535, &port) || *rest)
        return CONTROL_SWITCH_INVALID;
    options->enabled = 1;
    options->address = address;
    options->port = (int)port;
    return CONTROL_SWITCH_TAKEN;
}

ControlSwitch ParseControlPortSwitch(ControlPortOptions* options, const char* token)
{
    const char* rest = 0;
    if (token[0] != '-' && token[0] != '/')
        return CONTROL_SWITCH_NOT_OURS;
    if (StartsWithWord(token + 1, "CONTROLHOLD", &rest) && (*rest == ':' || !*rest))
        return TakeHoldSwitch(options, rest);
    if (StartsWithWord(token + 1, "CONTROL", &rest) && (*rest == ':' || !*rest))
        return TakePortSwitch(options, rest);
    return CONTROL_SWITCH_NOT_OURS;
}

// --- Button names ---

struct ButtonName
{
    const char* name;
    int button;
};

static const ButtonName BUTTON_NAMES[PANEL_BUTTON_COUNT] = {
    {"AUTO", ID_FOCUS_AUTO},   {"MANUAL", ID_FOCUS_MANUAL}, {"NEAR", ID_FOCUS_NEAR},
    {"FAR", ID_FOCUS_FAR},     {"PRESET", ID_PRESET},       {"OPERATE", ID_OPERATE},
    {"1", ID_PRESET_1},        {"2", ID_PRESET_2},          {"3", ID_PRESET_3},
    {"4", ID_PRESET_4},        {"5", ID_PRESET_5},          {"6", ID_PRESET_6},
    {"WIDE", ID_ZOOM_WIDE},    {"TELE", ID_ZOOM_TELE},      {"L/R", ID_PAN_REVERSE},
    {"BRIGHT", ID_BRIGHT},     {"LEFT", ID_PAN_LEFT},       {"UP", ID_TILT_UP},
    {"HOME", ID_HOME},         {"DOWN", ID_TILT_DOWN},      {"RIGHT", ID_PAN_RIGHT},
    {"UPLEFT", ID_UP_LEFT},    {"DOWNLEFT", ID_DOWN_LEFT},  {"UPRIGHT", ID_UP_RIGHT},
    {"DOWNRIGHT", ID_DOWN_RIGHT}, {"CAMERA1", ID_CAMERA_1}, {"CAMERA2", ID_CAMERA_2},
    {"CAMERA3", ID_CAMERA_3},  {"CAMERA4", ID_CAMERA_4},
};

static int SameWord(const char* word, const char* upper)
{
    const char* rest;
    return StartsWithWord(word, upper, &rest) && *rest == 0;
}

static int ButtonNamed(const char* word)
{
    for (const ButtonName& name : BUTTON_NAMES)
        if (SameWord(word, name.name))
            return name.button;
    return -1;
}

static const char* NameOf(int button)
{
    for (const ButtonName& name : BUTTON_NAMES)
        if (name.button == button)
            return name.name;
    return "?";
}

// --- Answers ---

struct Answer
{
    char* text;
    int size;
};

static void Say(Answer* answer, const char* format, ...)
{
    char text[1025]; // wvsprintfA writes at most 1024 characters
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(text, format, arguments);
    va_end(arguments);
    // One answer is one line: a result text may end with a line break of its own.
    int length = 0;
    for (char* at = text; *at; ++at, ++length)
        if ((unsigned char)*at < ' ')
            *at = ' ';
    while (length > 0 && text[length - 1] == ' ')
        text[--length] = 0;
    lstrcpynA(answer->text, text, answer->size);
}

static void SayOk(Answer* answer)
{
    Say(answer, "OK");
}

static const char BUSY_TEXT[] =
    "ERR busy: the console is running another command or has a dialog or message open";

static LONG reportsAtCommandStart; // the link's status reports when the command began

static void SayFailure(Answer* answer, ResultCode result)
{
    char text[RESULT_TEXT_SIZE] = "";
    if (!FormatResultMessage(result, result, text, sizeof text))
        lstrcpynA(text, "the camera does not answer", sizeof text);
    Say(answer, "ERR camera not responding: %.200s", text);
}

// The camera's outcome after a command that may talk to it: OK, or why not in the result's
// words. A command that sent nothing (AUTO while the focus is automatic already) is OK while
// the camera answers: the link's last result is then an older command's.
static void SayCameraOutcome(Answer* answer, const CameraDriver* driver)
{
    int talked = LinkStatusReports(driver) != reportsAtCommandStart;
    ResultCode result = talked ? LinkLastResult(driver) : RESULT_OK;
    if (result == RESULT_OK && CameraIsReady(driver))
    {
        SayOk(answer);
        return;
    }
    SayFailure(answer, LinkLastResult(driver));
}

// --- Holds ---

const int CONTROL_HOLDS = 8;

// A button a client pressed and has not released. A movement let go while the console was
// busy stays as an owed stop, no longer any client's, until its stop has gone out.
struct ControlHold
{
    int used;
    int client;
    int button;
    DWORD pressedAt; // the latest press, GetTickCount
    int stopOwed;
    int takenOver; // stopped for the operator or another command: its presses start nothing
};

static ControlHold holds[CONTROL_HOLDS];
static int sessionEnding; // from a log-off's start: nothing new is started

static int ConsoleBusy()
{
    return commandBusy || eventGate == 0;
}

static int IsMovement(int button)
{
    return PANEL_ACTIONS[button].kind != ACTION_CLICK;
}

static int Held(const ControlHold* hold)
{
    return hold->used && !hold->stopOwed && !hold->takenOver;
}

// A hold whose time still counts: held, or taken over until its client lets go.
static int Timed(const ControlHold* hold)
{
    return hold->used && !hold->stopOwed;
}

static ControlHold* TakenOverHold(int client, int button)
{
    for (ControlHold& hold : holds)
        if (hold.used && hold.takenOver && hold.client == client && hold.button == button)
            return &hold;
    return 0;
}

static ControlHold* FindHold(int client, int button)
{
    for (ControlHold& hold : holds)
        if (Held(&hold) && hold.client == client && hold.button == button)
            return &hold;
    return 0;
}

static ControlHold* HoldOfButton(int button)
{
    for (ControlHold& hold : holds)
        if (Held(&hold) && hold.button == button)
            return &hold;
    return 0;
}

static ControlHold* MovementOfKind(ActionKind kind)
{
    for (ControlHold& hold : holds)
        if (Held(&hold) && PANEL_ACTIONS[hold.button].kind == kind)
            return &hold;
    return 0;
}

static ControlHold* NewHold(int client, int button)
{
    for (ControlHold& hold : holds)
        if (!hold.used)
        {
            hold.used = 1;
            hold.client = client;
            hold.button = button;
            hold.pressedAt = GetTickCount();
            hold.stopOwed = 0;
            hold.takenOver = 0;
            return &hold;
        }
    return 0;
}

static void FreeHold(ControlHold* hold)
{
    hold->used = 0;
    hold->stopOwed = 0;
    hold->takenOver = 0;
}

// The timer runs until the soonest time-out of the holds, and not at all without one.
static void ArmHoldTimer(HWND window)
{
    DWORD now = GetTickCount();
    DWORD soonest = CONTROL_HOLD_MAX_MS;
    int any = 0;
    for (const ControlHold& hold : holds)
    {
        if (!Timed(&hold))
            continue;
        DWORD heldMs = now - hold.pressedAt;
        DWORD left = heldMs >= holdTimeMs ? 0 : holdTimeMs - heldMs;
        soonest = left < soonest ? left : soonest;
        any = 1;
    }
    if (!any)
        KillTimer(window, TIMER_CONTROL_HOLD);
    else if (!SetTimer(window, TIMER_CONTROL_HOLD, soonest ? soonest : 1, 0))
        MessageBeep(0); // no time-out: the release or the disconnect still stops
}

// *sent is set when the start went to the camera: a start whose reply was lost may have been
// carried out, and then only a stop stops it.
static ResultCode StartMovement(HWND window, CameraDriver* driver, int button, int* sent)
{
    const PanelAction* action = &PANEL_ACTIONS[button];
    *sent = 0;
    if (!EnsureCameraReady(driver))
        return LinkLastResult(driver) != RESULT_OK ? LinkLastResult(driver) : RESULT_NOT_CONNECTED;
    if (sessionEnding) // the log-off began while the camera was made ready
        return RESULT_NOT_CONNECTED;
    *sent = 1;
    if (action->kind == ACTION_PAN_TILT)
    {
        StartCommand start = PanTiltStartCommand(SwappedHorizontal(action->horizontalKey),
                                                 action->verticalKey);
        return StartRemotePanTilt(window, driver, start);
    }
    if (action->kind == ACTION_FOCUS)
        cameraSettings.autoFocus = 0; // as the panel's NEAR and FAR; sent, it may have acted
    return action->start(driver);
}

static ResultCode StopMovement(HWND window, CameraDriver* driver, int button)
{
    if (PANEL_ACTIONS[button].kind == ACTION_PAN_TILT)
    {
        StopRemotePanTilt(window, driver);
        return LinkLastResult(driver);
    }
    return SendStop(driver, PANEL_ACTIONS[button].stop);
}

// The end of a command run with commandBusy set: stops owed meanwhile go out.
static void EndBusy(HWND window)
{
    commandBusy = 0;
    SendDroppedStops(window);
    SendOwedControlStops(window);
}

// The stop of a held movement, owed until the console is free; the hold is no client's now.
static void OweStop(HWND window, ControlHold* hold)
{
    hold->stopOwed = 1;
    PostMessageA(window, WM_DROPPED_RELEASE, 0, 0); // looked at again when it is handled
}

// A hold let go without its client's release (time-out, disconnect): the button comes up, a
// movement stops (later, when the console is busy), anything else does not act.
static void LetGo(HWND window, ControlHold* hold)
{
    int button = hold->button;
    SetButtonState(panelButtons[button], BUTTON_UP);
    if (!IsMovement(button))
    {
        FreeHold(hold);
        return;
    }
    if (ConsoleBusy())
    {
        OweStop(window, hold);
        return;
    }
    FreeHold(hold);
    commandBusy = 1;
    StopMovement(window, &cameraDriver, button);
    EndBusy(window);
}

void SendOwedControlStops(HWND window)
{
    if (ConsoleBusy())
        return;
    for (ControlHold& hold : holds)
    {
        if (!hold.used || !hold.stopOwed)
            continue;
        int button = hold.button;
        FreeHold(&hold);
        commandBusy = 1;
        StopMovement(window, &cameraDriver, button);
        commandBusy = 0;
    }
}

static void LetGoDueHolds(HWND window)
{
    DWORD now = GetTickCount();
    for (ControlHold& hold : holds)
    {
        if (!Timed(&hold) || now - hold.pressedAt < holdTimeMs)
            continue;
        if (hold.takenOver)
            FreeHold(&hold); // its client stopped pressing: a new press starts again
        else
            LetGo(window, &hold);
    }
    ArmHoldTimer(window);
}

void OnControlHoldTimer(HWND window)
{
    KillTimer(window, TIMER_CONTROL_HOLD);
    LetGoDueHolds(window);
}

static void LetGoHoldsOf(HWND window, int client)
{
    for (ControlHold& hold : holds)
    {
        if (!Timed(&hold) || hold.client != client)
            continue;
        if (hold.takenOver)
            FreeHold(&hold);
        else
            LetGo(window, &hold);
    }
    ArmHoldTimer(window);
}

// The movements held through the port stopped now, their buttons up, owed stops sent. A held
// movement is taken over, not forgotten: its client's repeated presses, queued behind whatever
// took it over, would start it again; they are refused until the client lets go (a release,
// the hold time without a press, a disconnect). With clicksToo, held buttons of other kinds
// come up and end too.
static void TakeOverHolds(HWND window, int clicksToo)
{
    for (ControlHold& hold : holds)
    {
        if (!hold.used || hold.takenOver || (!clicksToo && !IsMovement(hold.button)))
            continue;
        int button = hold.button;
        SetButtonState(panelButtons[button], BUTTON_UP);
        if (IsMovement(button) && !hold.stopOwed)
            hold.takenOver = 1;
        else
            FreeHold(&hold);
        if (IsMovement(button))
            StopMovement(window, &cameraDriver, button);
    }
    ArmHoldTimer(window);
}

void StopControlMovements(HWND window)
{
    TakeOverHolds(window, 0);
}

void SetControlPortSessionEnding(int ending)
{
    sessionEnding = ending;
}

void StopOutsideMotions(HWND window)
{
    StopRemoteMotions(window);
    TakeOverHolds(window, 1); // the link's owner: the stops go out now, busy or not
}

// --- Commands ---

static int FreeHolds()
{
    int count = 0;
    for (const ControlHold& hold : holds)
        count += !hold.used;
    return count;
}

// A movement started for a client's press: its hold is taken only once the start succeeded,
// since making the camera ready may close the link, which lets every hold go. A start that
// failed on the line is stopped at once, as is the old direction of a failed turn: either may
// be running.
static void PressMovement(HWND window, int client, int button, int turnedFrom, Answer* answer)
{
    CameraDriver* driver = &cameraDriver;
    SetButtonState(panelButtons[button], BUTTON_PRESSED);
    int sent = 0;
    ResultCode started = StartMovement(window, driver, button, &sent);
    ControlHold* old = turnedFrom >= 0 ? FindHold(client, turnedFrom) : 0;
    if (old)
    {
        SetButtonState(panelButtons[turnedFrom], BUTTON_UP);
        FreeHold(old);
    }
    ControlHold* hold = started == RESULT_OK ? NewHold(client, button) : 0;
    if (hold)
    {
        SayOk(answer);
        return;
    }
    SetButtonState(panelButtons[button], BUTTON_UP);
    if (sent || old)
        StopMovement(window, driver, button);
    if (!sent && sessionEnding)
        Say(answer, "ERR refused: the session is ending");
    else if (started != RESULT_OK)
        SayFailure(answer, started); // the stop's success says nothing of the start
    else
        SayCameraOutcome(answer, driver);
}

// press: a movement starts (or turns, for the same client's other button of its kind); any
// other button is only drawn pressed. A repeated press keeps the hold alive.
static void Press(HWND window, int client, int button, Answer* answer)
{
    ControlHold* over = TakenOverHold(client, button);
    if (over)
    {
        over->pressedAt = GetTickCount(); // the client still holds it
        Say(answer, "ERR refused: %s was stopped by the operator or another command; release it "
                    "and press again", NameOf(button));
        return;
    }
    ControlHold* mine = FindHold(client, button);
    if (mine)
    {
        mine->pressedAt = GetTickCount();
        SayOk(answer);
        return;
    }
    if (HoldOfButton(button))
    {
        Say(answer, "ERR busy: %s is held by another client", NameOf(button));
        return;
    }
    ControlHold* running = IsMovement(button) ? MovementOfKind(PANEL_ACTIONS[button].kind) : 0;
    if (running && running->client != client)
    {
        Say(answer, "ERR busy: another client holds %s", NameOf(running->button));
        return;
    }
    if (!running && FreeHolds() == 0)
    {
        Say(answer, "ERR busy: too many buttons held");
        return;
    }
    if (IsMovement(button))
    {
        PressMovement(window, client, button, running ? running->button : -1, answer);
        return;
    }
    NewHold(client, button);
    SetButtonState(panelButtons[button], BUTTON_PRESSED);
    SayOk(answer);
}

// A preset, HOME or another camera takes the camera elsewhere: the movements held through the
// port stop first, and their hold times, which this long command would hold up, end with them.
static int TakesCameraElsewhere(int button)
{
    return (button >= ID_PRESET_1 && button <= ID_PRESET_6) || button == ID_HOME ||
           (button >= ID_CAMERA_1 && button <= ID_CAMERA_4);
}

// A click's action as the panel runs it, and the outcome; PRESET and L/R talk to no camera.
static void Act(HWND window, int button, Answer* answer)
{
    if (TakesCameraElsewhere(button))
        StopControlMovements(window);
    RunClickAction(window, button, &cameraDriver, 0);
    if (button == ID_PRESET || button == ID_PAN_REVERSE)
        SayOk(answer);
    else
        SayCameraOutcome(answer, &cameraDriver);
}

// The release of a held movement while the console is busy: never refused, its stop goes out
// as soon as the console is free.
static void OweRelease(HWND window, int client, int button, Answer* answer)
{
    ControlHold* over = TakenOverHold(client, button);
    if (over)
    {
        FreeHold(over); // stopped already
        SayOk(answer);
        return;
    }
    ControlHold* hold = FindHold(client, button);
    SetButtonState(panelButtons[button], BUTTON_UP);
    OweStop(window, hold);
    SayOk(answer);
}

// release, on a free console: a movement stops; any other button acts now, as the remote's
// keys act on their release.
static void Release(HWND window, int client, int button, Answer* answer)
{
    ControlHold* over = TakenOverHold(client, button);
    if (over)
    {
        FreeHold(over); // stopped already; the next press starts again
        SayOk(answer);
        return;
    }
    ControlHold* hold = FindHold(client, button);
    if (!hold)
    {
        Say(answer, "ERR bad argument: %s is not pressed", NameOf(button));
        return;
    }
    SetButtonState(panelButtons[button], BUTTON_UP);
    FreeHold(hold);
    if (IsMovement(button))
    {
        if (StopMovement(window, &cameraDriver, button) == RESULT_OK)
            SayOk(answer);
        else
            SayCameraOutcome(answer, &cameraDriver);
        return;
    }
    if (!ActionAllowed(button))
        Say(answer, "ERR refused: OPERATE is off");
    else
        Act(window, button, answer);
}

static void Click(HWND window, int client, int button, Answer* answer)
{
    if (HoldOfButton(button) && !FindHold(client, button))
    {
        Say(answer, "ERR busy: %s is held by another client", NameOf(button));
        return;
    }
    if (!IsMovement(button))
    {
        ControlHold* mine = FindHold(client, button);
        if (mine)
            FreeHold(mine);
        SetButtonState(panelButtons[button], BUTTON_PRESSED);
        SetButtonState(panelButtons[button], BUTTON_UP);
        Act(window, button, answer);
        return;
    }
    Press(window, client, button, answer);
    if (answer->text[0] == 'O')
        Release(window, client, button, answer);
}

static void Preset(int preset, int store, Answer* answer)
{
    CameraDriver* driver = &cameraDriver;
    if (!EnsureCameraReady(driver))
    {
        SayCameraOutcome(answer, driver);
        return;
    }
    if (store)
    {
        if (StorePreset(driver, preset) == RESULT_OK)
            presetStoreMode = 0; // as a store from the panel
    }
    else
    {
        BeginWaitCursor();
        RecallPreset(driver, &cameraSettings, preset);
        EndWaitCursor();
    }
    SayCameraOutcome(answer, driver);
}

static void Operate(int on, Answer* answer)
{
    if (operateMode == on)
    {
        SayOk(answer);
        return;
    }
    ToggleOperateMode(&cameraDriver);
    SayCameraOutcome(answer, &cameraDriver);
    if (operateMode != on && answer->text[0] == 'O')
        Say(answer, "ERR camera not responding: OPERATE stays %s", on ? "off" : "on");
}

static const char* LightName(int index)
{
    if (errorBlinking && index == PortLightIndex())
        return "blinking";
    switch (panelLights[index].state)
    {
    case LIGHT_GREEN:
        return "green";
    case LIGHT_RED:
        return "red";
    case LIGHT_OFF:
        return "off";
    case LIGHT_IDLE:
        return "idle";
    default:
        return "other";
    }
}

static void Status(int client, Answer* answer)
{
    char heldNames[LINE_SERVER_LINE_MAX] = "";
    for (const ControlHold& hold : holds)
        if (Held(&hold) && hold.client == client &&
            lstrlenA(heldNames) + 12 < (int)sizeof heldNames)
        {
            if (heldNames[0])
                lstrcatA(heldNames, ",");
            lstrcatA(heldNames, NameOf(hold.button));
        }
    ResultCode result = LinkLastResult(&cameraDriver);
    char text[RESULT_TEXT_SIZE] = "OK";
    if (!FormatResultMessage(result, result, text, sizeof text))
        lstrcpynA(text, "OK", sizeof text);
    Say(answer,
        "OK camera=%d link=%s operate=%s store=%s camera1=%s camera2=%s camera3=%s camera4=%s "
        "operatelight=%s result=%d text=\"%.120s\" held=%s",
        PortLightIndex() + 1, linkOpen ? "open" : "closed", operateMode ? "on" : "off",
        presetStoreMode ? "on" : "off", LightName(LIGHT_CAMERA_1), LightName(LIGHT_CAMERA_2),
        LightName(LIGHT_CAMERA_3), LightName(LIGHT_CAMERA_4),
        panelLights[LIGHT_OPERATE].state == LIGHT_GREEN ? "green" : "idle", result, text,
        heldNames[0] ? heldNames : "none");
}

static void Help(Answer* answer)
{
    Say(answer,
        "OK commands: press|release|click <button>, recall <1-6>, store <1-6>, camera <1-4>, "
        "operate on|off, status, help; buttons: AUTO MANUAL NEAR FAR PRESET 1-6 OPERATE WIDE "
        "TELE L/R BRIGHT HOME CAMERA1-CAMERA4 UPLEFT UP UPRIGHT LEFT RIGHT DOWNLEFT DOWN "
        "DOWNRIGHT; a pressed button is let go after %d ms without a release or a new press",
        (int)holdTimeMs);
}

// --- Parsing a line ---

const int WORD_SIZE = 24;
const int MOST_WORDS = 3; // one more than any command takes, to see that there are too many

// Splits at spaces and tabs; words are cut to WORD_SIZE - 1 characters (no name is as long).
static int SplitWords(const char* line, char (*words)[WORD_SIZE])
{
    int count = 0;
    while (*line && count < MOST_WORDS)
    {
        while (*line == ' ' || *line == '\t')
            ++line;
        if (!*line)
            break;
        int length = 0;
        for (; *line && *line != ' ' && *line != '\t'; ++line)
            if (length < WORD_SIZE - 1)
                words[count][length++] = (*line > ' ' && *line < 0x7F) ? *line : '?';
        words[count++][length] = 0;
    }
    return count;
}

enum ArgumentKind
{
    ARGUMENT_NONE,
    ARGUMENT_BUTTON,
    ARGUMENT_PRESET,
    ARGUMENT_CAMERA,
    ARGUMENT_ON_OFF,
};

enum CommandId
{
    COMMAND_PRESS,
    COMMAND_RELEASE,
    COMMAND_CLICK,
    COMMAND_RECALL,
    COMMAND_STORE,
    COMMAND_CAMERA,
    COMMAND_OPERATE,
    COMMAND_STATUS,
    COMMAND_HELP,
};

struct CommandWord
{
    const char* word; // upper case
    CommandId id;
    ArgumentKind argument;
    const char* usage;
};

static const CommandWord COMMANDS[] = {
    {"PRESS", COMMAND_PRESS, ARGUMENT_BUTTON, "press <button>"},
    {"RELEASE", COMMAND_RELEASE, ARGUMENT_BUTTON, "release <button>"},
    {"CLICK", COMMAND_CLICK, ARGUMENT_BUTTON, "click <button>"},
    {"RECALL", COMMAND_RECALL, ARGUMENT_PRESET, "recall <1-6>"},
    {"STORE", COMMAND_STORE, ARGUMENT_PRESET, "store <1-6>"},
    {"CAMERA", COMMAND_CAMERA, ARGUMENT_CAMERA, "camera <1-4>"},
    {"OPERATE", COMMAND_OPERATE, ARGUMENT_ON_OFF, "operate on|off"},
    {"STATUS", COMMAND_STATUS, ARGUMENT_NONE, "status"},
    {"HELP", COMMAND_HELP, ARGUMENT_NONE, "help"},
};

// The argument's value: a button id, a preset or camera number, 1 for on and 0 for off; -1
// when the word is none of its kind.
static int ArgumentValue(ArgumentKind kind, const char* word)
{
    switch (kind)
    {
    case ARGUMENT_BUTTON:
        return ButtonNamed(word);
    case ARGUMENT_PRESET:
        return (word[0] >= '1' && word[0] <= '6' && !word[1]) ? word[0] - '0' : -1;
    case ARGUMENT_CAMERA:
        return (word[0] >= '1' && word[0] <= '4' && !word[1]) ? word[0] - '0' : -1;
    case ARGUMENT_ON_OFF:
        return SameWord(word, "ON") ? 1 : SameWord(word, "OFF") ? 0 : -1;
    default:
        return 0;
    }
}

// The panel button whose OPERATE rule a command follows; -1 for one that has none.
static int GatedButton(CommandId id, int value)
{
    switch (id)
    {
    case COMMAND_PRESS:
    case COMMAND_CLICK:
        return value;
    case COMMAND_RECALL:
    case COMMAND_STORE:
        return ID_PRESET_1 + value - 1;
    default:
        return -1;
    }
}

static void Run(HWND window, int client, CommandId id, int value, Answer* answer)
{
    switch (id)
    {
    case COMMAND_PRESS:
        Press(window, client, value, answer);
        break;
    case COMMAND_CLICK:
        Click(window, client, value, answer);
        break;
    case COMMAND_RELEASE:
        Release(window, client, value, answer);
        break;
    case COMMAND_RECALL:
    case COMMAND_STORE:
        StopControlMovements(window);
        Preset(value, id == COMMAND_STORE, answer);
        break;
    case COMMAND_CAMERA:
        Act(window, ID_CAMERA_1 + value - 1, answer);
        break;
    case COMMAND_OPERATE:
        Operate(value, answer);
        break;
    default:
        break;
    }
}

// A release of a held movement passes while the console is busy (its stop waits); status and
// help answer at any time; everything else waits for a free console.
static int PassesWhileBusy(int client, CommandId id, int value)
{
    if (id == COMMAND_STATUS || id == COMMAND_HELP)
        return 1;
    return id == COMMAND_RELEASE && IsMovement(value) &&
           (FindHold(client, value) || TakenOverHold(client, value));
}

void RunControlCommand(HWND window, int client, const char* line, char* text, int size)
{
    Answer answer = {text, size};
    char words[MOST_WORDS][WORD_SIZE];
    int count = SplitWords(line, words);
    if (count == 0)
    {
        Say(&answer, "ERR unknown command: the line is empty");
        return;
    }
    const CommandWord* command = 0;
    for (const CommandWord& candidate : COMMANDS)
        if (SameWord(words[0], candidate.word))
            command = &candidate;
    if (!command)
    {
        Say(&answer, "ERR unknown command \"%s\" (help lists them)", words[0]);
        return;
    }
    int wanted = command->argument == ARGUMENT_NONE ? 1 : 2;
    int value = count == wanted ? ArgumentValue(command->argument, words[1]) : -1;
    if (value < 0)
    {
        if (count == wanted)
            Say(&answer, "ERR bad argument \"%s\": %s", words[1], command->usage);
        else
            Say(&answer, "ERR bad argument: %s", command->usage);
        return;
    }
    if (command->id == COMMAND_STATUS)
    {
        Status(client, &answer);
        return;
    }
    if (command->id == COMMAND_HELP)
    {
        Help(&answer);
        return;
    }
    int passes = PassesWhileBusy(client, command->id, value);
    if (sessionEnding && !passes)
    {
        Say(&answer, "ERR refused: the session is ending");
        return;
    }
    if (ConsoleBusy() && !passes)
    {
        Say(&answer, BUSY_TEXT);
        return;
    }
    int gated = GatedButton(command->id, value);
    if (gated >= 0 && !ActionAllowed(gated))
    {
        Say(&answer, "ERR refused: OPERATE is off");
        return;
    }
    if (passes && ConsoleBusy())
    {
        OweRelease(window, client, value, &answer);
        return;
    }
    SendOwedControlStops(window); // a stop still owed goes before anything new
    reportsAtCommandStart = LinkStatusReports(&cameraDriver);
    commandBusy = 1;
    Run(window, client, command->id, value, &answer);
    UpdateOperateLight();
    EndBusy(window);
    ArmHoldTimer(window);
}

// --- The port ---

static void OnLine(HWND window, int client, const char* line)
{
    LetGoDueHolds(window); // another client's many lines must not hold its time-out back
    char answer[CONTROL_ANSWER_SIZE];
    RunControlCommand(window, client, line, answer, sizeof answer);
    SendLine(&server, client, answer);
}

static void OnClientClosed(HWND window, int client)
{
    LetGoHoldsOf(window, client);
}

int StartControlPort(HWND window, const ControlPortOptions* options, char* reason,
                     int reasonSize)
{
    StopControlPort();
    holdTimeMs = options->holdMs;
    serverRunning =
        StartLineServer(&server, window, WM_CONTROL_SOCKET, TIMER_CONTROL_READ, options->address,
                        options->port, OnLine, OnClientClosed, reason, reasonSize);
    return serverRunning;
}

void StopControlPort()
{
    if (!serverRunning)
        return;
    serverRunning = 0;
    StopLineServer(&server);
}

// The hold times are looked at here too: a timer message comes only when no other message
// waits, and a client that keeps sending would hold it back.
void OnControlSocket(HWND window, WPARAM socket, LPARAM event)
{
    LetGoDueHolds(window);
    if (serverRunning)
        OnLineServerMessage(&server, socket, event);
}

void OnControlReadTimer(HWND window)
{
    LetGoDueHolds(window);
    if (serverRunning)
        OnLineServerTimer(&server);
}

int ControlPortNumber()
{
    return serverRunning ? LineServerPort(&server) : 0;
}
