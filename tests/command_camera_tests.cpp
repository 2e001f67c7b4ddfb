// The command catalogue against the virtual camera: what the operations read back is what
// the camera holds, and a stored preset is recalled to where it was stored.
#include <gtest/gtest.h>

#include "commands/camera_commands.h"
#include "sim/virtual_camera.h"
#include "tests/test_window.h"

static CameraDriver driver;
static CameraSettingsRecord settings; // what the camera control resets with each opening

class CommandsOnCamera : public ::testing::Test
{
  protected:
    VirtualCamera* camera = 0;

    void SetUp() override
    {
        HWND window = StartRecorder();
        camera = AttachVirtualCamera(2);
        ASSERT_TRUE(camera != 0);
        ResetCameraSettings(&settings);
        ASSERT_EQ(0, OpenPort(&driver, window, 2, 9600));
        ASSERT_EQ(0, WaitForCts(&driver, 1000));
    }

    void TearDown() override
    {
        ClosePort(&driver);
        EXPECT_EQ(1, DetachVirtualCamera(camera));
    }
};

static bool PanTiltArrived(void*)
{
    return driver.panTiltArrived != 0;
}

static bool ZoomArrived(void*)
{
    return driver.zoomArrived != 0;
}

// Absolute moves end with a completion frame that the reader thread receives.
static void MoveTo(uint16_t pan, uint16_t tilt, uint16_t zoom)
{
    driver.panTiltArrived = 0;
    driver.zoomArrived = 0;
    ASSERT_EQ(0, ZoomToPosition(&driver, zoom));
    ASSERT_EQ(0, PanTiltToPosition(&driver, pan, tilt));
    ASSERT_TRUE(PumpUntil(PanTiltArrived, 0, 5000));
    ASSERT_TRUE(PumpUntil(ZoomArrived, 0, 5000));
}

TEST_F(CommandsOnCamera, VersionsOfTheThreeUnits)
{
    uint8_t versions[VERSION_COUNT] = {};
    EXPECT_EQ(0, QueryVersions(&driver, versions));
    EXPECT_EQ(CAMERA_CCU_VERSION, versions[0]);
    EXPECT_EQ(CAMERA_HEAD_VERSION, versions[1]);
    EXPECT_EQ(CAMERA_PAN_TILTER_VERSION, versions[2]);
}

TEST_F(CommandsOnCamera, ExposureQueriesReadWhatWasSet)
{
    EXPECT_EQ(0, SetBrightness(&driver, 144));
    EXPECT_EQ(0, SetAgcGain(&driver, 50));
    EXPECT_EQ(0, SetShutterSpeed(&driver, 100));
    EXPECT_EQ(0, SetIris(&driver, 90));
    uint16_t brightness = 0;
    EXPECT_EQ(0, QueryBrightness(&driver, &brightness));
    EXPECT_EQ(144, brightness);
    int status = -1, level = 0, agc = 0, shutter = 0, iris = 0;
    EXPECT_EQ(0, QueryExposureState(&driver, &status, &level, &agc, &shutter, &iris));
    EXPECT_EQ(144, level);
    EXPECT_EQ(50, agc);
    EXPECT_EQ(100, shutter);
    EXPECT_EQ(90, iris);
}

TEST_F(CommandsOnCamera, PositionQueriesReadWhereTheMovesEnded)
{
    MoveTo(2100, 500, 9000);
    uint16_t pan = 0, tilt = 0, zoom = 0;
    EXPECT_EQ(0, QueryPanTiltPosition(&driver, &pan, &tilt));
    EXPECT_EQ(0, QueryZoomPosition(&driver, &zoom));
    EXPECT_EQ(2100, pan);
    EXPECT_EQ(500, tilt);
    EXPECT_EQ(9000, zoom);
}

TEST_F(CommandsOnCamera, StoredPresetIsRecalledToWhereItWasStored)
{
    MoveTo(1500, 700, 4000);
    ASSERT_EQ(0, SetBrightness(&driver, 72));
    ASSERT_EQ(0, StorePreset(&driver, 4));
    uint16_t brightness = 0, pan = 0, tilt = 0, zoom = 0;
    ASSERT_EQ(0, ReadPresetData(&driver, 4, &brightness, &pan, &tilt, &zoom));
    EXPECT_EQ(72, brightness);
    EXPECT_EQ(1500, pan);
    EXPECT_EQ(700, tilt);
    EXPECT_EQ(4000, zoom);

    MoveTo(2500, 300, 12000);
    ASSERT_EQ(0, SetBrightness(&driver, 144));
    int retries = settings.recallRetries;
    DWORD start = GetTickCount();
    EXPECT_EQ(0, RecallPreset(&driver, &settings, 4));
    EXPECT_LT(GetTickCount() - start, 5000u); // within one attempt's arrival time-out
    EXPECT_EQ(retries, settings.recallRetries);
    EXPECT_EQ(0, QueryPanTiltPosition(&driver, &pan, &tilt));
    EXPECT_EQ(0, QueryZoomPosition(&driver, &zoom));
    EXPECT_EQ(0, QueryBrightness(&driver, &brightness));
    EXPECT_EQ(1500, pan);
    EXPECT_EQ(700, tilt);
    EXPECT_EQ(4000, zoom);
    EXPECT_EQ(72, brightness);
}

TEST_F(CommandsOnCamera, ContinuousPanStopsWhereTheStopFoundIt)
{
    uint16_t before = 0, tilt = 0, stopped = 0, later = 0;
    ASSERT_EQ(0, QueryPanTiltPosition(&driver, &before, &tilt));
    ASSERT_EQ(0, PanRightStart(&driver));
    DelayPumping(200);
    ASSERT_EQ(0, PanTiltStop(&driver));
    ASSERT_EQ(0, QueryPanTiltPosition(&driver, &stopped, &tilt));
    DelayPumping(200);
    ASSERT_EQ(0, QueryPanTiltPosition(&driver, &later, &tilt));
    EXPECT_GT(stopped, before);
    EXPECT_EQ(stopped, later);
}
