// The single-request operations of the command set: each writes its request out as it goes
// on the line and runs one transaction.
#include "commands/camera_commands.h"

// The last byte of every request buffer: sending replaces it with the checksum.
const uint8_t CHECKSUM_SLOT = 0;

// Selectors (byte 3) by command.
const uint8_t MODESELECT_SET = 1;
const uint8_t WHITEBALANCE_MODE = 1;
const uint8_t WHITEBALANCE_LEVEL = 2;
const uint8_t MUTE_FIRST = 1;
const uint8_t MUTE_SECOND = 2;
const uint8_t PRESET_READ = 1;
const uint8_t PRESET_WRITE = 2;
const uint8_t FOCUS_MODE = 1;
const uint8_t FOCUS_MOVE = 2;
const uint8_t FOCUS_HALT = 4;
const uint8_t ZOOM_MOVE = 1;
const uint8_t ZOOM_GOTO = 2;
const uint8_t ZOOM_HALT = 3;
const uint8_t ZOOM_SPEED = 4;
const uint8_t EXPOSURE_MODE = 1;
const uint8_t EXPOSURE_PARAM2 = 2;
const uint8_t EXPOSURE_PARAM3 = 3;
const uint8_t EXPOSURE_BRIGHTNESS = 4;
const uint8_t EXPOSURE_SHUTTER = 6;
const uint8_t EXPOSURE_AGC = 7;
const uint8_t EXPOSURE_IRIS = 8;
const uint8_t STATE_VERSION = 0;
const uint8_t STATE_POSITION = 2;
const uint8_t STATE_EXPOSURE = 3;
const uint8_t PANTILT_MOVE = 1;
const uint8_t PANTILT_HALT = 2;
const uint8_t PANTILT_SPEED = 3;
const uint8_t PANTILT_GOTO = 5;

// Constant bytes the camera expects in front of a speed or position, and in front of the
// shutter, AGC and iris values.
const uint8_t SETTING_PREFIX = 2;
const uint8_t EXPOSURE_VALUE_PREFIX = 0;

// Values of the mode and direction bytes.
const uint8_t MODE_AUTO = 0;
const uint8_t MODE_MANUAL = 1;
const uint8_t FOCUS_FAR = 0;
const uint8_t FOCUS_NEAR = 1;
const uint8_t ZOOM_TELE = 0;
const uint8_t ZOOM_WIDE = 1;
const uint8_t PAN_NONE = 0;
const uint8_t PAN_RIGHT = 1;
const uint8_t PAN_LEFT = 2;
const uint8_t TILT_NONE = 0;
const uint8_t TILT_UP = 1;
const uint8_t TILT_DOWN = 2;

// Replies: total length (length byte + 1) and where the values sit.
const int PRESET_DATA_REPLY_LENGTH = 14;
const int PRESET_BRIGHTNESS_OFFSET = 6;
const int PRESET_PAN_OFFSET = 7;
const int PRESET_TILT_OFFSET = 9;
const int PRESET_ZOOM_OFFSET = 11;
const int ZOOM_POSITION_REPLY_LENGTH = 8;
const int ZOOM_POSITION_OFFSET = 5;
const int EXPOSURE_STATE_REPLY_LENGTH = 10;
const int EXPOSURE_STATUS_OFFSET = 4;
const int EXPOSURE_BRIGHTNESS_OFFSET = 5;
const int EXPOSURE_IRIS_OFFSET = 6;
const int EXPOSURE_SHUTTER_OFFSET = 7;
const int EXPOSURE_AGC_OFFSET = 8;
const int PANTILT_POSITION_REPLY_LENGTH = 11;
const int PANTILT_PAN_OFFSET = 5;
const int PANTILT_TILT_OFFSET = 8;
const int VERSION_REPLY_LENGTH = 7;
const int VERSION_OFFSET = 5;

static uint8_t Low8(int value)
{
    return (uint8_t)(value & 0xFF);
}

static uint8_t HighByte(uint16_t value)
{
    return (uint8_t)(value >> 8);
}

static uint8_t LowByte(uint16_t value)
{
    return (uint8_t)(value & 0xFF);
}

static uint8_t Flag(int on)
{
    return on ? 1 : 0;
}

// A request answered by an acknowledgement and a reply.
static ResultCode RunRequest(CameraDriver* driver, uint8_t* request)
{
    return Transact(driver, request, 0, 0, COMMAND_TIMEOUT_MS);
}

// A move whose completion comes later: the acknowledgement ends the transaction.
static ResultCode RunMove(CameraDriver* driver, uint8_t* request)
{
    return TransactAckOnly(driver, request);
}

// A request whose reply carries values: the reply lands in the caller's buffer (room for
// any frame) and must have the expected total length.
static ResultCode RunQuery(CameraDriver* driver, uint8_t* request, uint8_t* reply,
                           int expectedLength)
{
    int length = 0;
    ResultCode result = Transact(driver, request, reply, &length, COMMAND_TIMEOUT_MS);
    if (result != RESULT_OK)
        return result;
    return length == expectedLength ? RESULT_OK : RESULT_BAD_LENGTH;
}

// --- CCU ---

ResultCode SelectMode(CameraDriver* driver, int mode)
{
    uint8_t request[] = {0x05,           DEVICE_CCU, MODESELECT_REQUEST,
                         MODESELECT_SET, Low8(mode), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode SetWhiteBalanceMode(CameraDriver* driver, int mode)
{
    uint8_t request[] = {0x05,       DEVICE_CCU,   WHITEBALANCE_REQUEST, WHITEBALANCE_MODE,
                         Low8(mode), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode SetWhiteBalanceLevel(CameraDriver* driver, int level)
{
    uint8_t request[] = {0x05,        DEVICE_CCU,   WHITEBALANCE_REQUEST, WHITEBALANCE_LEVEL,
                         Low8(level), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

static ResultCode SetMute(CameraDriver* driver, uint8_t which, int on)
{
    uint8_t request[] = {0x05, DEVICE_CCU, MUTE_REQUEST, which, Flag(on), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode SetMute1(CameraDriver* driver, int on)
{
    return SetMute(driver, MUTE_FIRST, on);
}

ResultCode SetMute2(CameraDriver* driver, int on)
{
    return SetMute(driver, MUTE_SECOND, on);
}

// The preset number goes out twice.
ResultCode WritePresetData(CameraDriver* driver, int preset, int brightness, uint16_t pan,
                           uint16_t tilt, uint16_t zoom)
{
    uint8_t request[] = {0x0D,          DEVICE_CCU,     PRESET_REQUEST,   PRESET_WRITE,
                         Low8(preset),  Low8(preset),   Low8(brightness), HighByte(pan),
                         LowByte(pan),  HighByte(tilt), LowByte(tilt),    HighByte(zoom),
                         LowByte(zoom), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode ReadPresetData(CameraDriver* driver, int preset, uint16_t* brightness, uint16_t* pan,
                          uint16_t* tilt, uint16_t* zoom)
{
    uint8_t request[] = {0x05,        DEVICE_CCU,   PRESET_REQUEST,
                         PRESET_READ, Low8(preset), CHECKSUM_SLOT};
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = RunQuery(driver, request, reply, PRESET_DATA_REPLY_LENGTH);
    if (result != RESULT_OK)
        return result;
    *brightness = reply[PRESET_BRIGHTNESS_OFFSET];
    *pan = ReadBigEndian16(&reply[PRESET_PAN_OFFSET]);
    *tilt = ReadBigEndian16(&reply[PRESET_TILT_OFFSET]);
    *zoom = ReadBigEndian16(&reply[PRESET_ZOOM_OFFSET]);
    return RESULT_OK;
}

// --- Camera head ---

static ResultCode SendFocus(CameraDriver* driver, uint8_t selector, uint8_t value)
{
    uint8_t request[] = {0x05, DEVICE_CAMERA_HEAD, FOCUS_REQUEST, selector, value, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode FocusAuto(CameraDriver* driver)
{
    return SendFocus(driver, FOCUS_MODE, MODE_AUTO);
}

ResultCode FocusManual(CameraDriver* driver)
{
    return SendFocus(driver, FOCUS_MODE, MODE_MANUAL);
}

ResultCode FocusNearStart(CameraDriver* driver)
{
    return SendFocus(driver, FOCUS_MOVE, FOCUS_NEAR);
}

ResultCode FocusFarStart(CameraDriver* driver)
{
    return SendFocus(driver, FOCUS_MOVE, FOCUS_FAR);
}

ResultCode FocusStop(CameraDriver* driver)
{
    uint8_t request[] = {0x04, DEVICE_CAMERA_HEAD, FOCUS_REQUEST, FOCUS_HALT, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

static ResultCode SendZoom(CameraDriver* driver, uint8_t selector, uint8_t value)
{
    uint8_t request[] = {0x05, DEVICE_CAMERA_HEAD, ZOOM_REQUEST, selector, value, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode ZoomTeleStart(CameraDriver* driver)
{
    return SendZoom(driver, ZOOM_MOVE, ZOOM_TELE);
}

ResultCode ZoomWideStart(CameraDriver* driver)
{
    return SendZoom(driver, ZOOM_MOVE, ZOOM_WIDE);
}

ResultCode ZoomStop(CameraDriver* driver)
{
    return SendZoom(driver, ZOOM_HALT, 0);
}

ResultCode SetZoomSpeed(CameraDriver* driver, int speed)
{
    uint8_t request[] = {0x06,           DEVICE_CAMERA_HEAD, ZOOM_REQUEST, ZOOM_SPEED,
                         SETTING_PREFIX, Low8(speed),        CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode ZoomToPosition(CameraDriver* driver, uint16_t position)
{
    uint8_t request[] = {0x07,           DEVICE_CAMERA_HEAD, ZOOM_REQUEST,      ZOOM_GOTO,
                         SETTING_PREFIX, HighByte(position), LowByte(position), CHECKSUM_SLOT};
    return RunMove(driver, request);
}

ResultCode QueryZoomPosition(CameraDriver* driver, uint16_t* position)
{
    uint8_t request[] = {0x04, DEVICE_CAMERA_HEAD, STATE_REQUEST, STATE_POSITION, CHECKSUM_SLOT};
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = RunQuery(driver, request, reply, ZOOM_POSITION_REPLY_LENGTH);
    if (result != RESULT_OK)
        return result;
    *position = ReadBigEndian16(&reply[ZOOM_POSITION_OFFSET]);
    return RESULT_OK;
}

static ResultCode SendExposure(CameraDriver* driver, uint8_t selector, uint8_t value)
{
    uint8_t request[] = {0x05,  DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, selector,
                         value, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

// The shutter, AGC and iris settings: a 0 byte, then the value.
static ResultCode SendExposureValue(CameraDriver* driver, uint8_t selector, int value)
{
    uint8_t request[] = {0x06,         DEVICE_CAMERA_HEAD,    EXPOSURE_REQUEST,
                         selector,     EXPOSURE_VALUE_PREFIX, Low8(value),
                         CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

// The camera's mode byte has the opposite sense: 0 is auto.
ResultCode SetExposureAuto(CameraDriver* driver, int automatic)
{
    return SendExposure(driver, EXPOSURE_MODE, automatic ? MODE_AUTO : MODE_MANUAL);
}

// With a = 0 the short form goes out: the one value byte 0 and no b.
ResultCode SetExposureParam2(CameraDriver* driver, int a, int b)
{
    if (a == 0)
        return SendExposure(driver, EXPOSURE_PARAM2, 0);
    uint8_t request[] = {0x06,    DEVICE_CAMERA_HEAD, EXPOSURE_REQUEST, EXPOSURE_PARAM2, Low8(a),
                         Low8(b), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode SetExposureParam3(CameraDriver* driver, int value)
{
    return SendExposure(driver, EXPOSURE_PARAM3, Low8(value));
}

ResultCode SetBrightness(CameraDriver* driver, int brightness)
{
    return SendExposure(driver, EXPOSURE_BRIGHTNESS, Low8(brightness));
}

ResultCode SetShutterSpeed(CameraDriver* driver, int value)
{
    return SendExposureValue(driver, EXPOSURE_SHUTTER, value);
}

ResultCode SetAgcGain(CameraDriver* driver, int value)
{
    return SendExposureValue(driver, EXPOSURE_AGC, value);
}

ResultCode SetIris(CameraDriver* driver, int value)
{
    return SendExposureValue(driver, EXPOSURE_IRIS, value);
}

// QueryBrightness and QueryExposureState share this request and its reply.
static ResultCode ReadExposureState(CameraDriver* driver, uint8_t* reply)
{
    uint8_t request[] = {0x04, DEVICE_CAMERA_HEAD, STATE_REQUEST, STATE_EXPOSURE, CHECKSUM_SLOT};
    return RunQuery(driver, request, reply, EXPOSURE_STATE_REPLY_LENGTH);
}

ResultCode QueryBrightness(CameraDriver* driver, uint16_t* brightness)
{
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = ReadExposureState(driver, reply);
    if (result != RESULT_OK)
        return result;
    *brightness = reply[EXPOSURE_BRIGHTNESS_OFFSET];
    return RESULT_OK;
}

static void StoreIfGiven(int* output, uint8_t value)
{
    if (output)
        *output = value;
}

ResultCode QueryExposureState(CameraDriver* driver, int* status, int* brightness, int* agc,
                              int* shutter, int* iris)
{
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = ReadExposureState(driver, reply);
    if (result != RESULT_OK)
        return result;
    StoreIfGiven(status, reply[EXPOSURE_STATUS_OFFSET]);
    StoreIfGiven(brightness, reply[EXPOSURE_BRIGHTNESS_OFFSET]);
    StoreIfGiven(agc, reply[EXPOSURE_AGC_OFFSET]);
    StoreIfGiven(shutter, reply[EXPOSURE_SHUTTER_OFFSET]);
    StoreIfGiven(iris, reply[EXPOSURE_IRIS_OFFSET]);
    return RESULT_OK;
}

// --- Pan tilter ---

ResultCode SetupPanTilter(CameraDriver* driver)
{
    uint8_t request[] = {0x03, DEVICE_PAN_TILTER, SETUP_REQUEST, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode HomePanTilter(CameraDriver* driver)
{
    uint8_t request[] = {0x03, DEVICE_PAN_TILTER, HOME_REQUEST, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

// A continuous move; it runs until PanTiltStop.
static ResultCode StartPanTiltMove(CameraDriver* driver, uint8_t pan, uint8_t tilt)
{
    uint8_t request[] = {0x06, DEVICE_PAN_TILTER, PANTILT_REQUEST, PANTILT_MOVE, pan,
                         tilt, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode PanLeftStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_LEFT, TILT_NONE);
}

ResultCode PanRightStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_RIGHT, TILT_NONE);
}

ResultCode TiltUpStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_NONE, TILT_UP);
}

ResultCode TiltDownStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_NONE, TILT_DOWN);
}

ResultCode PanTiltUpLeftStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_LEFT, TILT_UP);
}

ResultCode PanTiltUpRightStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_RIGHT, TILT_UP);
}

ResultCode PanTiltDownLeftStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_LEFT, TILT_DOWN);
}

ResultCode PanTiltDownRightStart(CameraDriver* driver)
{
    return StartPanTiltMove(driver, PAN_RIGHT, TILT_DOWN);
}

ResultCode PanTiltStop(CameraDriver* driver)
{
    uint8_t request[] = {0x04, DEVICE_PAN_TILTER, PANTILT_REQUEST, PANTILT_HALT, CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode SetPanTiltSpeed(CameraDriver* driver, int panSpeed, int tiltSpeed)
{
    uint8_t request[] = {0x07,           DEVICE_PAN_TILTER, PANTILT_REQUEST, PANTILT_SPEED,
                         SETTING_PREFIX, Low8(panSpeed),    Low8(tiltSpeed), CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

ResultCode PanTiltToPosition(CameraDriver* driver, uint16_t pan, uint16_t tilt)
{
    uint8_t request[] = {0x09,           DEVICE_PAN_TILTER, PANTILT_REQUEST, PANTILT_GOTO,
                         SETTING_PREFIX, HighByte(pan),     LowByte(pan),    HighByte(tilt),
                         LowByte(tilt),  CHECKSUM_SLOT};
    return RunMove(driver, request);
}

ResultCode QueryPanTiltPosition(CameraDriver* driver, uint16_t* pan, uint16_t* tilt)
{
    uint8_t request[] = {0x04, DEVICE_PAN_TILTER, STATE_REQUEST, STATE_POSITION, CHECKSUM_SLOT};
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = RunQuery(driver, request, reply, PANTILT_POSITION_REPLY_LENGTH);
    if (result != RESULT_OK)
        return result;
    *pan = ReadBigEndian16(&reply[PANTILT_PAN_OFFSET]);
    *tilt = ReadBigEndian16(&reply[PANTILT_TILT_OFFSET]);
    return RESULT_OK;
}

ResultCode SetLed(CameraDriver* driver, int a, int b, int c)
{
    uint8_t request[] = {0x06,    DEVICE_PAN_TILTER, LED_REQUEST,  Low8(a),
                         Low8(b), Low8(c),           CHECKSUM_SLOT};
    return RunRequest(driver, request);
}

// --- Every unit ---

static ResultCode QueryVersion(CameraDriver* driver, uint8_t unit, uint8_t* version)
{
    uint8_t request[] = {0x04, unit, STATE_REQUEST, STATE_VERSION, CHECKSUM_SLOT};
    uint8_t reply[FRAME_BUFFER_SIZE];
    ResultCode result = RunQuery(driver, request, reply, VERSION_REPLY_LENGTH);
    if (result != RESULT_OK)
        return result;
    *version = reply[VERSION_OFFSET];
    return RESULT_OK;
}

ResultCode QueryVersions(CameraDriver* driver, uint8_t versions[VERSION_COUNT])
{
    static const uint8_t units[VERSION_COUNT] = {DEVICE_CCU, DEVICE_CAMERA_HEAD, DEVICE_PAN_TILTER};
    for (int i = 0; i < VERSION_COUNT; ++i)
    {
        ResultCode result = QueryVersion(driver, units[i], &versions[i]);
        if (result != RESULT_OK)
            return result;
    }
    return RESULT_OK;
}
