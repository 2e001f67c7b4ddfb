// The camera settings the program keeps: what the camera control last sent to the camera or
// read back from it, the Preset Cycle Mode choices, the unit versions, and the retry count of
// RecallPreset. The camera control owns the one instance (control_state.h); the commands
// that need a setting take the record.
#pragma once

#include <stdint.h>

struct CameraSettingsRecord
{
    int irRemoteEnabled;     // "Enable IR remote control"
    int whiteBalanceAuto;    // white balance in auto mode
    int exposureAuto;        // exposure in auto mode
    int autoFocus;           // focus in auto mode
    int agcLevel;            // AGC gain
    int shutterLevel;        // shutter speed setting
    int irisLevel;           // iris setting
    int whiteBalanceLevel;   // manual white balance, red 0 .. blue 255
    int panSpeed;            // 1..70
    int tiltSpeed;           // 1..70
    int zoomSpeed;           // 0..7
    int presetCycleCount;    // Preset Cycle Mode "Set Cycles"
    int presetCycleInterval; // Preset Cycle Mode interval choice 0..6
    int recallRetries;       // retries of RecallPreset; not reset by ResetCameraSettings

    uint8_t ccuVersion;
    uint8_t headVersion;
    uint8_t panTilterVersion;
};

// The values every opening of the camera's port starts from: remote, auto modes and focus on,
// levels 0 and white balance 128, speeds 70, 70 and 7, 100 cycles at the first interval,
// versions 0. recallRetries keeps its count.
void ResetCameraSettings(CameraSettingsRecord* settings);
