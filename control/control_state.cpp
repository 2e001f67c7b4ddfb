// The camera control's shared state.
#include "control/control_state.h"

CameraDriver cameraDriver;
HWND mainWindow;

int commandBusy;
int linkOpen;
int cameraInitialized;
int operateMode;
int presetStoreMode;
