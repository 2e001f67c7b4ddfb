// The settings file: defaults, load and save of the settings image, the path helpers, and the
// start-up and shutdown steps that move values between the image, the driver and the flags.
#include "services/settings_file.h"

#include "services/speed_limits.h"

#include <stdio.h>
#include <string.h>

SettingsImage settingsImage;
WorkingFlags workingFlags;
int settingsLoaded;
int settingsSaved;

static const char HEADER_FORMAT[] = "%s Version %d.%02d Initialization File.";
static const char SETTINGS_EXTENSION[] = ".INI";
static const int LOAD_BUFFER_SIZE = SETTINGS_IMAGE_SIZE + 1; // one more shows a long file
static const DWORD REPLACE_FLAGS = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// --- Path helpers ---

static char* EmptyResult(char* destination, int size)
{
    if (destination && size > 0)
        destination[0] = 0;
    return 0;
}

static int IsSeparator(char c)
{
    return c == '\\' || c == ':';
}

char* GetDirectoryOfPath(char* destination, int size, const char* path)
{
    if (!destination || size <= 0)
        return 0;
    int length = path ? (int)strlen(path) : 0;
    int end = length;
    while (end > 0 && !IsSeparator(path[end - 1]))
        --end;
    // end is now the length of the copy up to and including the last separator (0: none).
    int kept = end;
    int driveRoot = end > 2 && path[end - 2] == ':' && path[end - 1] == '\\';
    if (!driveRoot && end > 1 && path[end - 1] == '\\')
        kept = end - 1;
    if (kept >= size)
        return EmptyResult(destination, size);
    memcpy(destination, path, (size_t)kept);
    destination[kept] = 0;
    return destination;
}

char* JoinPath(char* destination, int size, const char* directory, const char* fileName)
{
    if (!destination || size <= 0)
        return 0;
    int directoryLength = directory ? (int)strlen(directory) : 0;
    int nameLength = fileName ? (int)strlen(fileName) : 0;
    int separator = directoryLength > 0 && !IsSeparator(directory[directoryLength - 1]);
    if (directoryLength + separator + nameLength >= size)
        return EmptyResult(destination, size);
    memmove(destination, directory, (size_t)directoryLength);
    if (separator)
        destination[directoryLength] = '\\';
    memcpy(destination + directoryLength + separator, fileName, (size_t)nameLength);
    destination[directoryLength + separator + nameLength] = 0;
    return destination;
}

// text followed by suffix into destination; 0 (and nothing copied) when it does not fit.
static int CopyWithSuffix(char* destination, int size, const char* text, const char* suffix)
{
    int textLength = (int)strlen(text);
    int suffixLength = (int)strlen(suffix);
    if (textLength + suffixLength >= size)
        return 0;
    memcpy(destination, text, (size_t)textLength);
    memcpy(destination + textLength, suffix, (size_t)suffixLength + 1);
    return 1;
}

// The temporary file of a save: the path with its last character made '~' (HLR8.IN~ beside
// HLR8.INI). It is no longer than the path itself, so every path that loads can also save.
static int TemporaryPathFor(char* destination, int size, const char* path)
{
    int length = (int)strlen(path);
    if (length == 0 || length >= size)
        return 0;
    memcpy(destination, path, (size_t)length + 1);
    destination[length - 1] = path[length - 1] == '~' ? '$' : '~';
    return 1;
}

int GetSettingsPath(HINSTANCE instance, const char* baseName, char* path, int size)
{
    EmptyResult(path, size);
    char programName[SETTINGS_PATH_SIZE];
    DWORD length = GetModuleFileNameA(instance, programName, sizeof programName);
    // A name that filled the whole buffer may have been cut (and left unterminated).
    if (length == 0 || length >= sizeof programName)
        return 0;
    programName[length] = 0;

    char directory[SETTINGS_PATH_SIZE];
    if (!GetDirectoryOfPath(directory, sizeof directory, programName))
        return 0;
    char fileName[SETTINGS_PATH_SIZE];
    if (!CopyWithSuffix(fileName, sizeof fileName, baseName, SETTINGS_EXTENSION))
        return 0;
    return JoinPath(path, size, directory, fileName) != 0;
}

// --- The image and the file ---

// The working flags into the image, as 0 or 1.
static void StoreWorkingFlags(SettingsImage* image, const WorkingFlags* flags)
{
    image->largeWindow = flags->largeWindow != 0;
    image->alwaysOnTop = flags->alwaysOnTop != 0;
    image->acceleratedSpeed = flags->acceleratedSpeed != 0;
    image->panReversed = flags->panReversed != 0;
}

void SetSettingsDefaults(SettingsImage* image, const WorkingFlags* flags)
{
    memset(image->headerText, 0, sizeof image->headerText);
    image->headerText[SETTINGS_HEADER_SIZE - 1] = (char)SETTINGS_HEADER_END_MARK;
    snprintf(image->headerText, SETTINGS_HEADER_TEXT_LIMIT, HEADER_FORMAT, SETTINGS_BASE_NAME,
             SETTINGS_VERSION_MAJOR, SETTINGS_VERSION_MINOR);
    image->comPortIndex = 0;
    image->baudRate = DEFAULT_LINE_SPEED;
    image->windowRect.left = UNSET_POSITION;
    image->windowRect.top = UNSET_POSITION;
    image->windowRect.right = UNSET_POSITION;
    image->windowRect.bottom = UNSET_POSITION;
    StoreWorkingFlags(image, flags);
    memset(image->driverSnapshot, 0, sizeof image->driverSnapshot);
}

int LoadSettingsFromPath(SettingsImage* image, const char* path)
{
    HFILE file = _lopen(path, OF_READ);
    if (file == HFILE_ERROR)
        return 0;
    char data[LOAD_BUFFER_SIZE];
    UINT count = _lread(file, data, sizeof data);
    _lclose(file);
    // A read that failed outright says nothing about the file's contents: leave it alone.
    if (count == (UINT)HFILE_ERROR)
        return 0;
    if (count != (UINT)SETTINGS_IMAGE_SIZE)
    {
        DeleteFileA(path);
        return 0;
    }
    // Only the text up to its first zero is compared; both sides stop within 79 bytes.
    data[SETTINGS_HEADER_TEXT_LIMIT - 1] = 0;
    if (strncmp(data, image->headerText, SETTINGS_HEADER_TEXT_LIMIT) != 0)
    {
        DeleteFileA(path);
        return 0;
    }
    memcpy(image, data, SETTINGS_IMAGE_SIZE);
    return 1;
}

// Writes the whole image to a new file at path, created with exclusive sharing, and flushes
// it; 1 only when all of it is on disk. The file is closed in every case. CreateFileA rather
// than OpenFile: OpenFile cannot take a path of 128 characters or more, and a program in a
// deep folder would never keep its settings.
static int WriteImageFile(const SettingsImage* image, const char* path, int* created)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    *created = file != INVALID_HANDLE_VALUE;
    if (!*created)
        return 0;
    DWORD written = 0;
    int complete = WriteFile(file, image, SETTINGS_IMAGE_SIZE, &written, 0) &&
                   written == (DWORD)SETTINGS_IMAGE_SIZE;
    // The replace below is written through; the data it points to must be on disk first.
    if (complete && !FlushFileBuffers(file))
        complete = 0;
    if (!CloseHandle(file))
        complete = 0;
    return complete;
}

int SaveSettingsToPath(const SettingsImage* image, const char* path)
{
    char temporary[SETTINGS_PATH_SIZE];
    if (!TemporaryPathFor(temporary, sizeof temporary, path))
        return 0;

    int created = 0;
    if (!WriteImageFile(image, temporary, &created))
    {
        if (created)
            DeleteFileA(temporary);
        return 0;
    }
    if (!MoveFileExA(temporary, path, REPLACE_FLAGS))
    {
        DeleteFileA(temporary);
        return 0;
    }
    return 1;
}

int LoadSettingsFile(HINSTANCE instance, const char* baseName, SettingsImage* image)
{
    char path[SETTINGS_PATH_SIZE];
    if (!GetSettingsPath(instance, baseName, path, sizeof path))
        return 0;
    return LoadSettingsFromPath(image, path);
}

int SaveSettingsFile(HINSTANCE instance, const char* baseName, const SettingsImage* image)
{
    char path[SETTINGS_PATH_SIZE];
    if (!GetSettingsPath(instance, baseName, path, sizeof path))
        return 0;
    return SaveSettingsToPath(image, path);
}

// --- Program start ---

static int32_t OnScreenEdge(int32_t edge, int screenExtent, int captionHeight)
{
    // A window whose edge lies within one caption height of the far side could not be grabbed.
    return edge >= screenExtent - captionHeight ? UNSET_POSITION : edge;
}

void ApplyLoadedSettings(SettingsImage* image, WorkingFlags* flags, int* portIndex, int* lineSpeed,
                         int screenWidth, int screenHeight, int captionHeight)
{
    *portIndex = image->comPortIndex;
    *lineSpeed = image->baudRate;
    flags->largeWindow = image->largeWindow != 0;
    flags->alwaysOnTop = image->alwaysOnTop != 0;
    flags->acceleratedSpeed = image->acceleratedSpeed != 0;
    flags->panReversed = image->panReversed != 0;
    image->windowRect.left = OnScreenEdge(image->windowRect.left, screenWidth, captionHeight);
    image->windowRect.top = OnScreenEdge(image->windowRect.top, screenHeight, captionHeight);
}

static int FinishStartLoad(SettingsImage* image, WorkingFlags* flags, int* portIndex,
                           int* lineSpeed, int loaded, int screenWidth, int screenHeight,
                           int captionHeight)
{
    settingsLoaded = loaded;
    if (loaded)
        ApplyLoadedSettings(image, flags, portIndex, lineSpeed, screenWidth, screenHeight,
                            captionHeight);
    return loaded;
}

int LoadSettingsAtStart(SettingsImage* image, WorkingFlags* flags, int* portIndex, int* lineSpeed,
                        HINSTANCE instance, int screenWidth, int screenHeight, int captionHeight)
{
    SetSettingsDefaults(image, flags);
    int loaded = LoadSettingsFile(instance, SETTINGS_BASE_NAME, image);
    return FinishStartLoad(image, flags, portIndex, lineSpeed, loaded, screenWidth, screenHeight,
                           captionHeight);
}

int LoadSettingsAtStartFromPath(SettingsImage* image, WorkingFlags* flags, int* portIndex,
                                int* lineSpeed, const char* path, int screenWidth, int screenHeight,
                                int captionHeight)
{
    SetSettingsDefaults(image, flags);
    int loaded = LoadSettingsFromPath(image, path);
    return FinishStartLoad(image, flags, portIndex, lineSpeed, loaded, screenWidth, screenHeight,
                           captionHeight);
}

// --- Shutdown ---

void TakeDriverSnapshot(SettingsImage* image, const uint8_t* snapshot, int linkOpen)
{
    if (!linkOpen)
        return;
    memcpy(image->driverSnapshot, snapshot, sizeof image->driverSnapshot);
}

// Where the window stands when it is not minimized. A minimized window is parked by Windows at
// (-32000, -32000); saving that would open the next run off-screen. Its restored place comes
// in workspace coordinates, which start at the work area's corner (the taskbar may be above or
// left of it).
static int GetRestoredWindowRect(HWND window, RECT* rect)
{
    if (!IsIconic(window) && !IsZoomed(window))
        return GetWindowRect(window, rect);
    WINDOWPLACEMENT placement;
    placement.length = sizeof placement;
    if (!GetWindowPlacement(window, &placement))
        return 0;
    RECT workArea = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    *rect = placement.rcNormalPosition;
    OffsetRect(rect, workArea.left, workArea.top);
    return 1;
}

// The part of the shutdown save before the file is written; 0 when the run has saved already.
static int PrepareShutdownSave(SettingsImage* image, const WorkingFlags* flags, HWND window)
{
    if (settingsSaved)
        return 0;
    settingsSaved = 1;
    RECT rect;
    if (window && GetRestoredWindowRect(window, &rect))
    {
        image->windowRect.left = rect.left;
        image->windowRect.top = rect.top;
        image->windowRect.right = rect.right;
        image->windowRect.bottom = rect.bottom;
    }
    StoreWorkingFlags(image, flags);
    return 1;
}

int SaveSettingsAtShutdown(SettingsImage* image, const WorkingFlags* flags, HWND window,
                           HINSTANCE instance)
{
    if (!PrepareShutdownSave(image, flags, window))
        return 0;
    return SaveSettingsFile(instance, SETTINGS_BASE_NAME, image);
}

int SaveSettingsAtShutdownToPath(SettingsImage* image, const WorkingFlags* flags, HWND window,
                                 const char* path)
{
    if (!PrepareShutdownSave(image, flags, window))
        return 0;
    return SaveSettingsToPath(image, path);
}
