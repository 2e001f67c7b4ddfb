// The console in the test process, and its cameras' frame logs.
#include "tests/console_fixture.h"

#include <windows.h>
#include <stdio.h>

#include "app/program_start.h"
#include "control/control_state.h"
#include "dialogs/preset_cycle.h"
#include "services/settings_file.h"
#include "sim/virtual_camera.h"

const Frames START_UP_REQUESTS = {
    "05 08 17 01 00",       // SelectMode 0
    "04 08 04 00",          // versions: CCU,
    "04 01 04 00",          // camera head,
    "04 05 04 00",          // pan tilter
    "05 01 12 03 00",       // ZoomStop
    "06 01 12 04 02 07",    // SetZoomSpeed 7
    "07 05 12 03 02 46 46", // SetPanTiltSpeed 70/70
    "05 08 12 01 00",       // SetMute1 0
    "05 08 12 02 00",       // SetMute2 0
    "05 01 10 01 00",       // FocusAuto
    "06 05 19 00 01 00",    // SetLed 0 1 0
    "05 08 10 01 00",       // white balance auto
    "05 01 14 03 00",       // SetExposureParam3 0
    "05 01 14 01 00",       // SetExposureAuto (auto)
    "05 01 14 02 00",       // SetExposureParam2 short form
    "04 01 04 03",          // QueryExposureState
};
const char SELECT_MODE_1[] = "05 08 17 01 01";

std::string Hex(const uint8_t* bytes, int count)
{
    std::string text;
    char two[4];
    for (int i = 0; i < count; ++i)
    {
        snprintf(two, sizeof two, i ? " %02X" : "%02X", bytes[i]);
        text += two;
    }
    return text;
}

uint32_t LogCount(int port)
{
    VirtualCamera* camera = VirtualCameraOnPort(port);
    uint32_t count = LockVirtualCamera(camera, 0)->logCount;
    UnlockVirtualCamera(camera);
    return count;
}

std::vector<LoggedFrame> LogSince(int port, uint32_t start)
{
    Sleep(20); // the last ACK may still be on the paced line
    std::vector<LoggedFrame> frames;
    VirtualCamera* camera = VirtualCameraOnPort(port);
    CameraModel* model = LockVirtualCamera(camera, 0);
    for (uint32_t i = start; i < model->logCount; ++i)
    {
        const CameraLogEntry* entry = CameraLogEntryAt(model, i);
        if (entry)
            frames.push_back({entry->timeMs, entry->direction == CAMERA_LOG_RECEIVED,
                              Hex(entry->bytes, entry->length - 1), entry->length});
    }
    UnlockVirtualCamera(camera);
    return frames;
}

Frames RequestsSince(int port, uint32_t start)
{
    Frames requests;
    for (const LoggedFrame& frame : LogSince(port, start))
        if (frame.fromProgram && frame.bytes.compare(0, 5, "03 88") != 0)
            requests.push_back(frame.bytes);
    return requests;
}

std::string SettingsPath()
{
    char path[MAX_PATH];
    GetSettingsPath(GetModuleHandleA(0), SETTINGS_BASE_NAME, path, sizeof path);
    return path;
}

long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (long)data.nFileSizeLow;
}

static bool classRegistered;

void ConsoleTest::SetUp()
{
    DeleteFileA(SettingsPath().c_str());
    workingFlags = WorkingFlags();
    settingsSaved = 0;
    debugTitles = 0;
    rejectedSwitches = 0;
    commandBusy = 0;
}

void ConsoleTest::TearDown()
{
    if (IsWindow(mainWindow))
        Close();
    EndConsole();
    DeleteFileA(SettingsPath().c_str());
}

void ConsoleTest::Start(const char* commandLine, int showCommand)
{
    HINSTANCE instance = GetModuleHandleA(0);
    ASSERT_EQ(1, StartConsole(instance, classRegistered ? instance : 0, commandLine,
                              showCommand));
    classRegistered = true;
}

void ConsoleTest::Close()
{
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, RunMessageLoop());
    EXPECT_FALSE(IsWindow(mainWindow));
}
