// The settings file HLR8.INI: the persistent settings image, the working copies of its four
// option flags, reading it at start, writing it at shutdown, and the path helpers.
//
// Principles of operation:
// - Everything that survives a run is one fixed 4904-byte block, the SettingsImage, written to
//   the file byte for byte (little-endian int32 fields, no gaps). The file lies beside the
//   program file and is named after the base name: "HLR8" gives HLR8.INI.
// - The image lives for the whole run. comPortIndex and baudRate are working values themselves;
//   the four flags have working copies (workingFlags) that the rest of the program reads and
//   changes, copied into the image before the load and before the save, and out of it after a
//   successful load.
// - Loading accepts only a file of exactly 4904 bytes whose header text matches this version's;
//   any other file is deleted so the next shutdown writes a fresh one. A file that cannot be
//   opened or read is left alone.
// - Saving never truncates the old file first: the image goes to HLR8.IN~ in the same directory
//   (a name no longer than HLR8.INI, so any path that loads also saves), is flushed, and
//   replaces HLR8.INI only when all 4904 bytes are written. On any failure the temporary file
//   is deleted and the old HLR8.INI stays as it was.
// - The file's path comes from the program file's own name. A name or path that does not fit
//   its buffer counts as "cannot be obtained": the operation gives 0 and touches no file.
// - No operation shows a message.
//
// Operations:
//   SetSettingsDefaults       header text, port 0, 9600 baud, no saved position, flags from the
//                             working copies, snapshot zeros.
//   LoadSettingsFromPath      1 loaded, 0 not (missing, unreadable, wrong length or header).
//   SaveSettingsToPath        1 all 4904 bytes written and in place, 0 otherwise.
//   GetSettingsPath           1 with the file's full path, 0 when it cannot be obtained.
//   LoadSettingsFile          GetSettingsPath + LoadSettingsFromPath.
//   SaveSettingsFile          GetSettingsPath + SaveSettingsToPath.
//   GetDirectoryOfPath        the destination, or 0 (and an empty destination) when it does
//                             not fit.
//   JoinPath                  the destination, or 0 (and an empty destination) when it does
//                             not fit.
//   ApplyLoadedSettings       loaded port and line speed out to the caller, flags into the
//                             working copies, off-screen position reset.
//   LoadSettingsAtStart       the start-up steps; result becomes settingsLoaded.
//   TakeDriverSnapshot        the driver snapshot's bytes, only while the link is open.
//   SaveSettingsAtShutdown    once per run: window rectangle and flags into the image, save;
//                             0 when already saved or not written.
#pragma once

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

const int SETTINGS_IMAGE_SIZE = 4904;
const int SETTINGS_HEADER_SIZE = 80;
const int SETTINGS_HEADER_TEXT_LIMIT = 79;     // text and its zero fit in bytes 0..78
const uint8_t SETTINGS_HEADER_END_MARK = 0x1A; // byte 79 of the header
const int SETTINGS_PATH_SIZE = MAX_PATH;       // every path buffer, terminator included
const int DRIVER_SNAPSHOT_SIZE = 4784;         // the state of the camera link at shutdown

const int32_t UNSET_POSITION = (int32_t)0x80000000; // no saved position; equals CW_USEDEFAULT

const char SETTINGS_BASE_NAME[] = "HLR8"; // file HLR8.INI; also the word in the header text
const int SETTINGS_VERSION_MAJOR = 1;
const int SETTINGS_VERSION_MINOR = 3;

struct SettingsRect
{
    int32_t left;
    int32_t top;
    int32_t right;  // stored, never read back
    int32_t bottom; // stored, never read back
};

// The persistent block, exactly as it lies in the file.
struct SettingsImage
{
    char headerText[SETTINGS_HEADER_SIZE]; // text, zero fill, byte 79 = 0x1A
    int32_t comPortIndex;                  // 0..3 for COM1..COM4; the working value
    int32_t baudRate;                      // 4800, 9600 or 14400; the working value
    SettingsRect windowRect;               // main window, screen coordinates
    int32_t largeWindow;                   // flags: written 0 or 1, read as non-zero
    int32_t alwaysOnTop;
    int32_t acceleratedSpeed;
    int32_t panReversed;
    uint8_t driverSnapshot[DRIVER_SNAPSHOT_SIZE]; // the camera link at shutdown; never read
};

static_assert(offsetof(SettingsImage, headerText) == 0, "settings layout");
static_assert(offsetof(SettingsImage, comPortIndex) == 80, "settings layout");
static_assert(offsetof(SettingsImage, baudRate) == 84, "settings layout");
static_assert(offsetof(SettingsImage, windowRect.left) == 88, "settings layout");
static_assert(offsetof(SettingsImage, windowRect.top) == 92, "settings layout");
static_assert(offsetof(SettingsImage, windowRect.right) == 96, "settings layout");
static_assert(offsetof(SettingsImage, windowRect.bottom) == 100, "settings layout");
static_assert(offsetof(SettingsImage, largeWindow) == 104, "settings layout");
static_assert(offsetof(SettingsImage, alwaysOnTop) == 108, "settings layout");
static_assert(offsetof(SettingsImage, acceleratedSpeed) == 112, "settings layout");
static_assert(offsetof(SettingsImage, panReversed) == 116, "settings layout");
static_assert(offsetof(SettingsImage, driverSnapshot) == 120, "settings layout");
static_assert(sizeof(SettingsImage) == SETTINGS_IMAGE_SIZE, "settings image is 4904 bytes");

// Working copies of the image's four flags; the program reads and changes these.
struct WorkingFlags
{
    int largeWindow;      // large panel display
    int alwaysOnTop;      // main window stays above other windows
    int acceleratedSpeed; // Accelerated Speed Mode for pan/tilt presses
    int panReversed;      // left and right pan directions swapped
};

// Module-level state, one instance each.
extern SettingsImage settingsImage;
extern WorkingFlags workingFlags;
extern int settingsLoaded; // result of the load at start; the window is centred when 0
extern int settingsSaved;  // set by the first shutdown save; the image is written once a run

// --- The image and the file ---

void SetSettingsDefaults(SettingsImage* image, const WorkingFlags* flags);
int LoadSettingsFromPath(SettingsImage* image, const char* path);
int SaveSettingsToPath(const SettingsImage* image, const char* path);

// Full path of <base name>.INI beside the program file of the instance, into path (size bytes).
int GetSettingsPath(HINSTANCE instance, const char* baseName, char* path, int size);
int LoadSettingsFile(HINSTANCE instance, const char* baseName, SettingsImage* image);
int SaveSettingsFile(HINSTANCE instance, const char* baseName, const SettingsImage* image);

// --- Path helpers; neither writes past size bytes of the destination ---

// Directory part of path: C:\APPS\PANEL.EXE gives C:\APPS, C:\PANEL.EXE gives C:\,
// C:PANEL.EXE gives C:, PANEL.EXE gives "".
char* GetDirectoryOfPath(char* destination, int size, const char* path);
// directory, "\" unless it is empty or ends in "\" or ":", then fileName. destination may be
// the same buffer as directory.
char* JoinPath(char* destination, int size, const char* directory, const char* fileName);

// --- Program start and shutdown ---

// After a successful load: the port index and the line speed into *portIndex and *lineSpeed
// (the caller's copies, such as the driver's), flags into the working copies, and a saved left
// (top) edge at or beyond the screen width (height) minus the caption height reset to
// UNSET_POSITION. The caller passes SM_CXSCREEN, SM_CYSCREEN and SM_CYCAPTION.
void ApplyLoadedSettings(SettingsImage* image, WorkingFlags* flags, int* portIndex, int* lineSpeed,
                         int screenWidth, int screenHeight, int captionHeight);
// Defaults, load, and ApplyLoadedSettings when loaded; sets settingsLoaded and returns it.
// Without a load *portIndex and *lineSpeed keep their values.
int LoadSettingsAtStart(SettingsImage* image, WorkingFlags* flags, int* portIndex, int* lineSpeed,
                        HINSTANCE instance, int screenWidth, int screenHeight, int captionHeight);
int LoadSettingsAtStartFromPath(SettingsImage* image, WorkingFlags* flags, int* portIndex,
                                int* lineSpeed, const char* path, int screenWidth, int screenHeight,
                                int captionHeight);

// Copies the DRIVER_SNAPSHOT_SIZE bytes of snapshot into driverSnapshot when linkOpen is set;
// otherwise the image's snapshot keeps what it holds. Take the bytes before the port is closed.
void TakeDriverSnapshot(SettingsImage* image, const uint8_t* snapshot, int linkOpen);
// The first call of a run sets settingsSaved, stores the window's screen rectangle (its
// restored place when it is minimized, never Windows' parking place; kept as it
// was if the window has none) and the flags, and saves; later calls do nothing and give 0.
int SaveSettingsAtShutdown(SettingsImage* image, const WorkingFlags* flags, HWND window,
                           HINSTANCE instance);
int SaveSettingsAtShutdownToPath(SettingsImage* image, const WorkingFlags* flags, HWND window,
                                 const char* path);
