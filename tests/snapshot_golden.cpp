// The driver snapshot of the settings file against golden files: three known driver states,
// each written into a settings file, must give the bytes of tests/data/snapshot_*.ini.
//
// The golden files were written by the 64-bit build of this program while the snapshot was
// still a raw copy of the driver record (before the record was split), with
//   snapshot_tests.exe --gtest_also_run_disabled_tests --gtest_filter=*WriteGoldenFiles
// The 64-bit record is wider than the stored 4784 bytes, so the files hold its first 4784
// bytes; the comparison runs on the 64-bit build only (the 32-bit layout is fixed by the
// static_asserts on the stored record). Written again from the explicit writer, the files
// would only show the writer against itself: regenerate them from that first version only.
#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "commands/camera_commands.h"
#include "control/driver_snapshot.h"
#include "services/settings_file.h"
#include "tests/file_bytes.h"
#include "sim/virtual_camera.h"

typedef std::vector<uint8_t> Bytes;

const int REALISTIC_PORT = 2; // COM3

// The records the driver snapshot is written from.
struct ProgramRecords
{
    CameraDriver driver;
    CameraSettingsRecord settings;
    int controlModeSet;
    int eventGate;
};

// Every field a value of its own that shows where it lies: no two fields alike, handles and
// pointers using all of their bytes.
static void PutDistinctState(ProgramRecords* records)
{
    memset(records, 0, sizeof *records);
    CameraDriver* driver = &records->driver;
    CameraSettingsRecord* settings = &records->settings;
    driver->portHandle = (HANDLE)(uintptr_t)0x1122334455667788ull;
    driver->writeOverlapped.Internal = (ULONG_PTR)0x2122232425262728ull;
    driver->writeOverlapped.InternalHigh = (ULONG_PTR)0x3132333435363738ull;
    driver->writeOverlapped.Offset = 0x41424344;
    driver->writeOverlapped.OffsetHigh = 0x45464748;
    driver->writeOverlapped.hEvent = (HANDLE)(uintptr_t)0x5152535455565758ull;
    driver->readOverlapped.Internal = (ULONG_PTR)0x6162636465666768ull;
    driver->readOverlapped.InternalHigh = (ULONG_PTR)0x7172737475767778ull;
    driver->readOverlapped.Offset = 0x81828384;
    driver->readOverlapped.OffsetHigh = 0x85868788;
    driver->readOverlapped.hEvent = (HANDLE)(uintptr_t)0x9192939495969798ull;
    driver->readerThread = (HANDLE)(uintptr_t)0xA1A2A3A4A5A6A7A8ull;
    driver->readerThreadId = 0xB1B2B3B4;
    driver->portOpen = 0x0C010101;
    driver->cameraReady = 0x0C020202;
    driver->notifyWindow = (HWND)(uintptr_t)0xD1D2D3D4D5D6D7D8ull;
    driver->receiveBusy = 0x0C030303;
    records->controlModeSet = 0x0C040404;
    driver->portIndex = 0x0C050505;
    driver->lineSpeed = 0x0C060606;
    driver->lastResult = -0x0C070707;
    driver->reportedResult = -0x0C080808;
    for (int i = 0; i < FRAME_BUFFER_SIZE; ++i)
    {
        driver->replyBuffer[i] = (uint8_t)(i * 7 + 1);
        driver->eventBuffer[i] = (uint8_t)(i * 11 + 2);
    }
    settings->irRemoteEnabled = 0x0D010101;
    settings->whiteBalanceAuto = 0x0D020202;
    settings->exposureAuto = 0x0D030303;
    settings->autoFocus = 0x0D040404;
    settings->agcLevel = 0x0D050505;
    settings->shutterLevel = 0x0D060606;
    settings->irisLevel = 0x0D070707;
    settings->whiteBalanceLevel = 0x0D080808;
    settings->panSpeed = 0x0D090909;
    settings->tiltSpeed = 0x0D0A0A0A;
    settings->zoomSpeed = 0x0D0B0B0B;
    settings->presetCycleCount = 0x0D0C0C0C;
    settings->presetCycleInterval = 0x0D0D0D0D;
    driver->zoomArrived = 0x0E010101;
    driver->panTiltArrived = 0x0E020202;
    driver->exposureArrived = 0x0E030303;
    settings->recallRetries = 0x0E040404;
    driver->eventsEnabled = 0x0E050505;
    records->eventGate = 0x0E060606;
    settings->ccuVersion = 0xF1;
    settings->headVersion = 0xF2;
    settings->panTilterVersion = 0xF3;
    driver->eventSlot = 0x0E070707;
    for (int slot = 0; slot < EVENT_RING_SLOTS; ++slot)
        for (int i = 0; i < FRAME_BUFFER_SIZE; ++i)
            driver->eventRing[slot][i] = (uint8_t)(slot * 16 + i * 3 + 5);
    driver->line = (const LineBackend*)(uintptr_t)0xE1E2E3E4E5E6E7E8ull;
}

// The far ends of every field: all bits set, negative results, the last ring slot.
static void PutExtremeState(ProgramRecords* records)
{
    memset(records, 0, sizeof *records);
    CameraDriver* driver = &records->driver;
    CameraSettingsRecord* settings = &records->settings;
    driver->portHandle = INVALID_HANDLE_VALUE;
    driver->writeOverlapped.Internal = (ULONG_PTR)-1;
    driver->writeOverlapped.InternalHigh = (ULONG_PTR)-2;
    driver->writeOverlapped.Offset = 0xFFFFFFFF;
    driver->writeOverlapped.OffsetHigh = 0x80000000;
    driver->writeOverlapped.hEvent = (HANDLE)(uintptr_t)0xFFFFFFFFFFFFFFFEull;
    driver->readOverlapped.Internal = (ULONG_PTR)0x8000000000000000ull;
    driver->readOverlapped.InternalHigh = 1;
    driver->readOverlapped.Offset = 0x7FFFFFFF;
    driver->readOverlapped.OffsetHigh = 1;
    driver->readOverlapped.hEvent = (HANDLE)(uintptr_t)0xFFFFFFFFFFFFFFFDull;
    driver->readerThread = (HANDLE)(uintptr_t)0xFFFFFFFFFFFFFFFCull;
    driver->readerThreadId = 0xFFFFFFFF;
    driver->portOpen = 1;
    driver->cameraReady = 1;
    driver->notifyWindow = (HWND)(uintptr_t)0x0000000000010040ull;
    driver->receiveBusy = 1;
    records->controlModeSet = 1;
    driver->portIndex = 3;
    driver->lineSpeed = 14400;
    driver->lastResult = RESULT_WRITE_ERROR;
    driver->reportedResult = RESULT_NOT_CONNECTED;
    for (int i = 0; i < FRAME_BUFFER_SIZE; ++i)
    {
        driver->replyBuffer[i] = (uint8_t)(0xFF - i);
        driver->eventBuffer[i] = 0xFF;
    }
    settings->irRemoteEnabled = 0;
    settings->whiteBalanceAuto = -1;
    settings->exposureAuto = 0;
    settings->autoFocus = -1;
    settings->agcLevel = 127;
    settings->shutterLevel = 132;
    settings->irisLevel = 169;
    settings->whiteBalanceLevel = 255;
    settings->panSpeed = 1;
    settings->tiltSpeed = 70;
    settings->zoomSpeed = 0;
    settings->presetCycleCount = 0x7FFFFFFF;
    settings->presetCycleInterval = 6;
    driver->zoomArrived = 1;
    driver->panTiltArrived = 0;
    driver->exposureArrived = 1;
    settings->recallRetries = (int)0x80000000;
    driver->eventsEnabled = 1;
    records->eventGate = 0;
    settings->ccuVersion = 0xFF;
    settings->headVersion = 0x00;
    settings->panTilterVersion = 0x80;
    driver->eventSlot = EVENT_RING_SLOTS - 1;
    for (int slot = 0; slot < EVENT_RING_SLOTS; ++slot)
        for (int i = 0; i < FRAME_BUFFER_SIZE; ++i)
            driver->eventRing[slot][i] = (uint8_t)(i == 0 ? slot : 0xFF - slot);
    driver->line = (const LineBackend*)(uintptr_t)0xFFFFFFFFFFFFFFFFull;
}

// The record as the link leaves it on a virtual camera: the port opened, the camera's start-up
// requests as the console sends them (mode 0, versions, speeds, exposure read back), mode 1,
// the port closed. No window, so the reader thread posts nothing and the ring stays empty.
static void PutStateAfterOpenAndClose(ProgramRecords* records)
{
    memset(records, 0, sizeof *records);
    CameraDriver* driver = &records->driver;
    CameraSettingsRecord* settings = &records->settings;
    ResetDriver(driver); // with the rest of the program's reset
    ResetCameraSettings(settings);
    records->controlModeSet = 0;
    records->eventGate = 1;
    VirtualCamera* camera = AttachVirtualCamera(REALISTIC_PORT);
    ASSERT_TRUE(camera != 0);
    ResetCameraSettings(settings); // as the camera control opens the port
    ASSERT_EQ(RESULT_OK, OpenPort(driver, 0, REALISTIC_PORT, 9600));
    ASSERT_EQ(RESULT_OK, WaitForCts(driver, 3000));
    ASSERT_EQ(RESULT_OK, SelectMode(driver, 0));
    records->controlModeSet = 1;
    driver->eventsEnabled = 1;
    uint8_t versions[VERSION_COUNT] = {0, 0, 0};
    ASSERT_EQ(RESULT_OK, QueryVersions(driver, versions));
    settings->ccuVersion = versions[0];
    settings->headVersion = versions[1];
    settings->panTilterVersion = versions[2];
    ASSERT_EQ(RESULT_OK, SetZoomSpeed(driver, settings->zoomSpeed));
    ASSERT_EQ(RESULT_OK, SetPanTiltSpeed(driver, settings->panSpeed, settings->tiltSpeed));
    ASSERT_EQ(RESULT_OK, QueryExposureState(driver, 0, 0, &settings->agcLevel,
                                            &settings->shutterLevel, &settings->irisLevel));
    ASSERT_EQ(RESULT_OK, SelectMode(driver, 1));
    records->controlModeSet = 0;
    ClosePort(driver);
    EXPECT_EQ(1, DetachVirtualCamera(camera));
}

struct GoldenState
{
    const char* fileName;
    void (*put)(ProgramRecords* records);
};

static const GoldenState GOLDEN_STATES[] = {
    {"snapshot_distinct_fields.ini", PutDistinctState},
    {"snapshot_extreme_values.ini", PutExtremeState},
    {"snapshot_after_open_and_close.ini", PutStateAfterOpenAndClose},
};

// The settings around the snapshot, the same for every file.
static void PutSettings(SettingsImage* image)
{
    WorkingFlags flags = {1, 0, 1, 0};
    memset(image, 0xCC, sizeof *image);
    SetSettingsDefaults(image, &flags);
    image->comPortIndex = 2;
    image->baudRate = 14400;
    image->windowRect.left = 10;
    image->windowRect.top = 20;
    image->windowRect.right = 130;
    image->windowRect.bottom = 270;
}

static ProgramRecords stateRecords;

// The settings file of a state, as the program writes it, read back.
static Bytes WrittenFile(const GoldenState& state, const std::string& path)
{
    SettingsImage image;
    PutSettings(&image);
    state.put(&stateRecords);
    uint8_t snapshot[DRIVER_SNAPSHOT_SIZE];
    WriteDriverSnapshot(snapshot, &stateRecords.driver, &stateRecords.settings,
                        stateRecords.controlModeSet, stateRecords.eventGate);
    TakeDriverSnapshot(&image, snapshot, 1);
    EXPECT_EQ(1, SaveSettingsToPath(&image, path.c_str()));
    return ReadFileBytes(path);
}

// tests/data as a path on Wine's Z: drive.
static std::string GoldenPath(const char* fileName)
{
    std::string path = std::string(HLR8_TEST_DATA_DIR) + "/" + fileName;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return "Z:" + path;
}

static std::string TemporaryPath(const char* fileName)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "hlr8_" + std::to_string(GetCurrentProcessId()) + "_" + fileName;
}

TEST(DriverSnapshotGolden, DISABLED_WriteGoldenFiles)
{
    ASSERT_EQ(8u, sizeof(void*)) << "the golden files are the 64-bit layout";
    for (const GoldenState& state : GOLDEN_STATES)
    {
        Bytes bytes = WrittenFile(state, GoldenPath(state.fileName));
        EXPECT_EQ((size_t)SETTINGS_IMAGE_SIZE, bytes.size()) << state.fileName;
    }
}

TEST(DriverSnapshotGolden, EachStateGivesTheBytesOfItsGoldenFile)
{
    if (sizeof(void*) != 8)
        GTEST_SKIP() << "the golden files are the 64-bit layout";
    for (const GoldenState& state : GOLDEN_STATES)
    {
        Bytes golden = ReadFileBytes(GoldenPath(state.fileName));
        ASSERT_EQ((size_t)SETTINGS_IMAGE_SIZE, golden.size()) << state.fileName;
        std::string path = TemporaryPath(state.fileName);
        Bytes written = WrittenFile(state, path);
        DeleteFileA(path.c_str());
        ASSERT_EQ(golden.size(), written.size()) << state.fileName;
        for (size_t i = 0; i < golden.size(); ++i)
            ASSERT_EQ(golden[i], written[i]) << state.fileName << ", byte " << i;
    }
}
