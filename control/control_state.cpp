// The camera control's shared state.
#include "control/control_state.h"

CameraDriver cameraDriver;
CameraSettingsRecord cameraSettings;
HWND mainWindow;

int commandBusy;
int linkOpen;
int cameraInitialized;
int operateMode;
int presetStoreMode;
int controlModeSet;
int eventGate;

void ResetCameraControlState()
{
    ResetCameraSettings(&cameraSettings);
    controlModeSet = 0;
    eventGate = 1;
}
