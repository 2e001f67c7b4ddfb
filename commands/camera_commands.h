// The camera's command set: one operation per request the console sends to the HL-R8, and
// the two composite operations that store and recall a preset position.
//
// Principles of operation:
// - Every operation takes the driver first, builds its request in a small local buffer
//   (length byte, device, command, selector, values, and one byte that sending fills with
//   the checksum) and runs one blocking transaction on the calling (GUI) thread.
// - Most requests are answered by an acknowledgement and a reply from the same unit with
//   the same command: they run Transact and succeed once both have arrived (5000 ms for each
//   frame). The two moves to an absolute position, ZoomToPosition and PanTiltToPosition,
//   succeed on the acknowledgement alone (TransactAckOnly); their completion frames come
//   when the move ends and only set the driver's arrival flags.
// - Values are sent as their low 8 bits; 16-bit values (positions) most significant byte
//   first. Replies are read the same way.
// - Link failures (-6 NAK, -9 time-out, -10 read, -11 write) come back unchanged; the link
//   has already stored them in lastResult and made its status report.
// - Queries return -7 when the reply does not have the expected total length; lastResult
//   stays 0 then, since the transaction itself succeeded. Outputs are written only after a
//   successful transaction whose reply has the right length.
// - The operations keep no state; only RecallPreset changes fields: the driver's arrival
//   flags, and exposureAuto and recallRetries of the camera settings it is given.
//
// Requests to the CCU (device 8):
//   SelectMode            05 08 17 01 mode
//   SetWhiteBalanceMode   05 08 10 01 mode           0 auto, 1 manual
//   SetWhiteBalanceLevel  05 08 10 02 level          0 red .. 255 blue
//   SetMute1, SetMute2    05 08 12 01|02 on          on sent as 1 when nonzero
//   WritePresetData       0D 08 18 02 preset preset brightness pan(2) tilt(2) zoom(2)
//   ReadPresetData        05 08 18 01 preset         reply 14 bytes
// Requests to the camera head (device 1):
//   FocusAuto, FocusManual            05 01 10 01 00|01
//   FocusNearStart, FocusFarStart     05 01 10 02 01|00, stopped by FocusStop 04 01 10 04
//   ZoomTeleStart, ZoomWideStart      05 01 12 01 00|01, stopped by ZoomStop 05 01 12 03 00
//   SetZoomSpeed                      06 01 12 04 02 speed         speed 0..7
//   ZoomToPosition                    07 01 12 02 02 position(2)   acknowledgement only
//   QueryZoomPosition                 04 01 04 02                  reply 8 bytes
//   SetExposureAuto                   05 01 14 01 (0 when auto, 1 when not)
//   SetExposureParam2                 05 01 14 02 00 when a is 0, else 06 01 14 02 a b
//   SetExposureParam3                 05 01 14 03 value
//   SetBrightness                     05 01 14 04 brightness
//   SetShutterSpeed, SetAgcGain, SetIris   06 01 14 06|07|08 00 value
//   QueryBrightness, QueryExposureState    04 01 04 03             reply 10 bytes
// Requests to the pan tilter (device 5):
//   SetupPanTilter 03 05 10; HomePanTilter 03 05 11
//   Pan.../Tilt...Start   06 05 12 01 pan tilt       pan 0 none, 1 right, 2 left;
//                                                    tilt 0 none, 1 up, 2 down
//   PanTiltStop           04 05 12 02
//   SetPanTiltSpeed       07 05 12 03 02 pan tilt    each 1..70
//   PanTiltToPosition     09 05 12 05 02 pan(2) tilt(2)   acknowledgement only
//   QueryPanTiltPosition  04 05 04 02                reply 11 bytes
//   SetLed                06 05 19 a b c             (0,1,0) OPERATE on, (3,1,0) off
// Requests to every unit:
//   QueryVersions         04 unit 04 00 to the CCU, the camera head, the pan tilter;
//                         reply 7 bytes each
//
// Composite operations:
// - StorePreset (preset 1..6): reads the pan/tilt position, the zoom position and the
//   brightness, and writes them into the CCU's preset memory. The first failure ends it.
// - RecallPreset (preset 1..6): switches exposure to auto if the settings say it is not
//   (and notes it there), reads the preset, sets its brightness, starts the zoom and
//   pan/tilt moves and waits (letting sent messages through) until all three completions
//   have arrived or the arrival time-out has passed.
//   When the zoom did not arrive it stops the zoom, counts a retry and tries once more; when
//   it did but pan/tilt did not, it gives up at once. The completions arrive between
//   transactions, so the reader thread must be running (the port open). A move that does
//   not arrive gives -9, which is returned without being stored in lastResult; the status
//   report at the end reflects the last transaction.
#pragma once

#include "commands/camera_settings.h"
#include "link/camera_driver.h"

const int VERSION_COUNT = 3; // QueryVersions output: CCU, camera head, pan tilter

// --- CCU ---
ResultCode SelectMode(CameraDriver* driver, int mode);
ResultCode SetWhiteBalanceMode(CameraDriver* driver, int mode);
ResultCode SetWhiteBalanceLevel(CameraDriver* driver, int level);
ResultCode SetMute1(CameraDriver* driver, int on);
ResultCode SetMute2(CameraDriver* driver, int on);
ResultCode WritePresetData(CameraDriver* driver, int preset, int brightness, uint16_t pan,
                           uint16_t tilt, uint16_t zoom);
ResultCode ReadPresetData(CameraDriver* driver, int preset, uint16_t* brightness, uint16_t* pan,
                          uint16_t* tilt, uint16_t* zoom);

// --- Camera head ---
ResultCode FocusAuto(CameraDriver* driver);
ResultCode FocusManual(CameraDriver* driver);
ResultCode FocusNearStart(CameraDriver* driver);
ResultCode FocusFarStart(CameraDriver* driver);
ResultCode FocusStop(CameraDriver* driver);
ResultCode ZoomTeleStart(CameraDriver* driver);
ResultCode ZoomWideStart(CameraDriver* driver);
ResultCode ZoomStop(CameraDriver* driver);
ResultCode SetZoomSpeed(CameraDriver* driver, int speed);
ResultCode ZoomToPosition(CameraDriver* driver, uint16_t position);
ResultCode QueryZoomPosition(CameraDriver* driver, uint16_t* position);
ResultCode SetExposureAuto(CameraDriver* driver, int automatic); // 1 auto, 0 manual
ResultCode SetExposureParam2(CameraDriver* driver, int a, int b);
ResultCode SetExposureParam3(CameraDriver* driver, int value);
ResultCode SetBrightness(CameraDriver* driver, int brightness);
ResultCode SetShutterSpeed(CameraDriver* driver, int value);
ResultCode SetAgcGain(CameraDriver* driver, int value);
ResultCode SetIris(CameraDriver* driver, int value);
ResultCode QueryBrightness(CameraDriver* driver, uint16_t* brightness);
// Each output may be null; those given are written after a good reply.
ResultCode QueryExposureState(CameraDriver* driver, int* status, int* brightness, int* agc,
                              int* shutter, int* iris);

// --- Pan tilter ---
ResultCode SetupPanTilter(CameraDriver* driver);
ResultCode HomePanTilter(CameraDriver* driver);
ResultCode PanLeftStart(CameraDriver* driver);
ResultCode PanRightStart(CameraDriver* driver);
ResultCode TiltUpStart(CameraDriver* driver);
ResultCode TiltDownStart(CameraDriver* driver);
ResultCode PanTiltUpLeftStart(CameraDriver* driver);
ResultCode PanTiltUpRightStart(CameraDriver* driver);
ResultCode PanTiltDownLeftStart(CameraDriver* driver);
ResultCode PanTiltDownRightStart(CameraDriver* driver);
ResultCode PanTiltStop(CameraDriver* driver);
ResultCode SetPanTiltSpeed(CameraDriver* driver, int panSpeed, int tiltSpeed);
ResultCode PanTiltToPosition(CameraDriver* driver, uint16_t pan, uint16_t tilt);
ResultCode QueryPanTiltPosition(CameraDriver* driver, uint16_t* pan, uint16_t* tilt);
ResultCode SetLed(CameraDriver* driver, int a, int b, int c);

// --- Every unit ---
// Stops at the first failure; the bytes of the units asked before it stay written.
ResultCode QueryVersions(CameraDriver* driver, uint8_t versions[VERSION_COUNT]);

// --- Presets (preset_operations.cpp) ---
ResultCode StorePreset(CameraDriver* driver, int preset);
// Reads exposureAuto, zoomSpeed and panSpeed of the settings; counts its retries there.
ResultCode RecallPreset(CameraDriver* driver, CameraSettingsRecord* settings, int preset);
// How long RecallPreset waits for its moves to arrive, in ms: the slower of the zoom and
// the pan/tilt travel at these speeds, at least 5000. Speeds outside 0..7 and 1..70 count
// as the nearest speed in range.
DWORD PresetArrivalTimeout(int zoomSpeed, int panSpeed);
