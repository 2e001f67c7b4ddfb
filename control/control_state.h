// The camera control's shared state: the one driver record, the camera settings, the main
// window it reports to, and the panel flags that start-up, the panel commands and the status
// indication read and set.
#pragma once

#include <windows.h>

#include "commands/camera_settings.h"
#include "link/camera_driver.h"

extern CameraDriver cameraDriver;           // the single camera link of the program
extern CameraSettingsRecord cameraSettings; // what the program keeps of the camera's settings
extern HWND mainWindow;                     // the panel window; 0 until it is created

extern int commandBusy;       // a user-driven handler is running: refuse or drop the rest
extern int linkOpen;          // the port of the selected camera is open
extern int cameraInitialized; // the initialization sequence has run since the last failure
extern int operateMode;       // OPERATE is on
extern int presetStoreMode;   // the next preset button stores instead of recalling
extern int controlModeSet;    // the CCU was switched to mode 0 by the camera control
extern int eventGate;         // re-entrancy gate of the window's camera event handler

// What every opening of the port starts from, besides the link's own record: the camera
// settings' defaults (ResetCameraSettings), the CCU not switched, the event gate open. Run
// with ResetDriver at program start and before the control opens the port.
void ResetCameraControlState();
