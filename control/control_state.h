// The camera control's shared state: the one driver record, the main window it reports to, and
// the panel flags that start-up, the panel commands and the status indication read and set.
#pragma once

#include <windows.h>

#include "link/camera_driver.h"

extern CameraDriver cameraDriver; // the single camera link of the program
extern HWND mainWindow;           // the panel window; 0 until it is created

extern int commandBusy;       // a user-driven handler is running: refuse or drop the rest
extern int linkOpen;          // the port of the selected camera is open
extern int cameraInitialized; // the initialization sequence has run since the last failure
extern int operateMode;       // OPERATE is on
extern int presetStoreMode;   // the next preset button stores instead of recalling
