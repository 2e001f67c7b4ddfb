// Settings file: the exact default bytes, which files load and which are thrown away, a save that
// never loses the previous file, the path helpers, and the start-up and shutdown steps.
#include <gtest/gtest.h>

#include "control/driver_snapshot.h"
#include "services/settings_file.h"
#include "tests/file_bytes.h"

#include <string.h>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

static const char HEADER_TEXT[] = "HLR8 Version 1.03 Initialization File.";

static Bytes ImageBytes(const SettingsImage& image)
{
    const uint8_t* bytes = (const uint8_t*)&image;
    return Bytes(bytes, bytes + sizeof image);
}

static SettingsImage DefaultImage()
{
    WorkingFlags flags = {0, 0, 0, 0};
    SettingsImage image;
    memset(&image, 0xCC, sizeof image);
    SetSettingsDefaults(&image, &flags);
    return image;
}

static int32_t ReadInt32(const Bytes& bytes, size_t offset)
{
    return (int32_t)((uint32_t)bytes[offset] | (uint32_t)bytes[offset + 1] << 8 |
                     (uint32_t)bytes[offset + 2] << 16 | (uint32_t)bytes[offset + 3] << 24);
}

static void WriteInt32(Bytes* bytes, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[offset + i] = (uint8_t)((uint32_t)value >> (8 * i));
}

static bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static void WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, 0);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), (size_t)written);
}

// Every test works in a fresh folder of its own under the user's temporary directory.
class SettingsFileTest : public ::testing::Test
{
  protected:
    std::string folder;
    std::string iniPath;

    void SetUp() override
    {
        static int serial;
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        folder = std::string(temp) + "hlr8_settings_" + std::to_string(GetCurrentProcessId()) +
                 "_" + std::to_string(++serial);
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), 0));
        iniPath = folder + "\\HLR8.INI";
        settingsLoaded = 0;
        settingsSaved = 0;
    }

    void TearDown() override
    {
        for (const std::string& name : FolderContents())
        {
            std::string path = folder + "\\" + name;
            if (!DeleteFileA(path.c_str()))
                RemoveDirectoryA(path.c_str());
        }
        EXPECT_TRUE(RemoveDirectoryA(folder.c_str())) << "left something behind in " << folder;
    }

    // Names of everything in the folder, to show what a save left behind.
    std::vector<std::string> FolderContents()
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do
        {
            std::string name = entry.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
        return names;
    }

    // A file image that loads: the default header and some recognizable values.
    static Bytes ValidFile()
    {
        Bytes bytes = ImageBytes(DefaultImage());
        WriteInt32(&bytes, 80, 2);     // COM3
        WriteInt32(&bytes, 84, 14400); // baud
        WriteInt32(&bytes, 88, 100);   // left
        WriteInt32(&bytes, 92, 200);   // top
        WriteInt32(&bytes, 104, 1);    // largeWindow
        WriteInt32(&bytes, 112, 7);    // acceleratedSpeed, any non-zero value
        WriteInt32(&bytes, 116, 1);    // panReversed
        for (size_t i = 120; i < bytes.size(); ++i)
            bytes[i] = (uint8_t)(i * 7);
        return bytes;
    }
};

// --- Layout and defaults ---

TEST(SettingsDefaults, ImageBytesAreExact)
{
    Bytes bytes = ImageBytes(DefaultImage());
    ASSERT_EQ(4904u, bytes.size());
    EXPECT_EQ(38u, strlen(HEADER_TEXT));
    EXPECT_EQ(0, memcmp(bytes.data(), HEADER_TEXT, 39)); // text and its zero: bytes 0..38
    for (int i = 39; i <= 78; ++i)
        EXPECT_EQ(0, bytes[i]) << "byte " << i;
    EXPECT_EQ(0x1A, bytes[79]);
    EXPECT_EQ(0, ReadInt32(bytes, 80));
    const uint8_t baud[] = {0x80, 0x25, 0x00, 0x00}; // 9600, least significant byte first
    EXPECT_EQ(0, memcmp(&bytes[84], baud, 4));
    const uint8_t unset[] = {0x00, 0x00, 0x00, 0x80};
    for (int offset = 88; offset < 104; offset += 4)
        EXPECT_EQ(0, memcmp(&bytes[offset], unset, 4)) << "offset " << offset;
    for (int offset = 104; offset < 120; offset += 4)
        EXPECT_EQ(0, ReadInt32(bytes, offset)) << "offset " << offset;
    for (size_t i = 120; i < bytes.size(); ++i)
        ASSERT_EQ(0, bytes[i]) << "snapshot byte " << i;
}

TEST(SettingsDefaults, FlagsComeFromTheWorkingCopiesAsZeroOrOne)
{
    WorkingFlags flags = {1, 0, 5, 0};
    SettingsImage image;
    SetSettingsDefaults(&image, &flags);
    EXPECT_EQ(1, image.largeWindow);
    EXPECT_EQ(0, image.alwaysOnTop);
    EXPECT_EQ(1, image.acceleratedSpeed);
    EXPECT_EQ(0, image.panReversed);
}

// --- Loading ---

TEST_F(SettingsFileTest, AFileWithTheRightLengthAndHeaderLoadsWhateverByte79Holds)
{
    const uint8_t endMarks[] = {0x00, 0x1A, 0xFF};
    for (uint8_t endMark : endMarks)
    {
        Bytes file = ValidFile();
        file[79] = endMark;
        file[50] = 'Q'; // after the text's zero: taken as it is
        file[78] = 'X'; // cleared so the header text is terminated
        WriteFileBytes(iniPath, file);
        SettingsImage image = DefaultImage();
        EXPECT_EQ(1, LoadSettingsFromPath(&image, iniPath.c_str())) << "byte 79 " << +endMark;
        Bytes expected = file;
        expected[78] = 0;
        EXPECT_EQ(expected, ImageBytes(image));
        EXPECT_TRUE(FileExists(iniPath));
    }
}

TEST_F(SettingsFileTest, FilesOfTheWrongLengthAreDeletedAndIgnored)
{
    const size_t lengths[] = {0, 4903, 4905};
    for (size_t length : lengths)
    {
        Bytes file = ValidFile();
        file.resize(length, 0);
        WriteFileBytes(iniPath, file);
        SettingsImage image = DefaultImage();
        EXPECT_EQ(0, LoadSettingsFromPath(&image, iniPath.c_str())) << length << " bytes";
        EXPECT_EQ(ImageBytes(DefaultImage()), ImageBytes(image)) << length << " bytes";
        EXPECT_FALSE(FileExists(iniPath)) << length << " bytes";
    }
}

TEST_F(SettingsFileTest, AnotherHeaderTextIsDeletedAndIgnored)
{
    const char* headers[] = {"HLR8 Version 1.02 Initialization File.",
                             "hlr8 Version 1.03 Initialization File.",
                             "HLR8 Version 1.03 Initialization File"};
    for (const char* header : headers)
    {
        Bytes file = ValidFile();
        memset(file.data(), 0, 79);
        memcpy(file.data(), header, strlen(header));
        WriteFileBytes(iniPath, file);
        SettingsImage image = DefaultImage();
        EXPECT_EQ(0, LoadSettingsFromPath(&image, iniPath.c_str())) << header;
        EXPECT_EQ(ImageBytes(DefaultImage()), ImageBytes(image)) << header;
        EXPECT_FALSE(FileExists(iniPath)) << header;
    }
}

TEST_F(SettingsFileTest, AMissingFileLeavesTheDefaultsAndIsNotCreated)
{
    SettingsImage image = DefaultImage();
    EXPECT_EQ(0, LoadSettingsFromPath(&image, iniPath.c_str()));
    EXPECT_EQ(ImageBytes(DefaultImage()), ImageBytes(image));
    EXPECT_TRUE(FolderContents().empty());
}

TEST_F(SettingsFileTest, AFileThatCannotBeOpenedIsLeftAlone)
{
    WriteFileBytes(iniPath, ValidFile());
    HANDLE lock = CreateFileA(iniPath.c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    SettingsImage image = DefaultImage();
    EXPECT_EQ(0, LoadSettingsFromPath(&image, iniPath.c_str()));
    CloseHandle(lock);
    EXPECT_EQ(ImageBytes(DefaultImage()), ImageBytes(image));
    EXPECT_EQ(ValidFile(), ReadFileBytes(iniPath));
}

// --- Saving ---

TEST_F(SettingsFileTest, ASaveWritesExactlyTheImageAndLoadsBack)
{
    SettingsImage image = DefaultImage();
    image.comPortIndex = 3;
    image.baudRate = 4800;
    image.driverSnapshot[4783] = 0x5A;
    EXPECT_EQ(1, SaveSettingsToPath(&image, iniPath.c_str()));
    EXPECT_EQ(ImageBytes(image), ReadFileBytes(iniPath));
    EXPECT_EQ(std::vector<std::string>{"HLR8.INI"}, FolderContents());

    SettingsImage loaded = DefaultImage();
    EXPECT_EQ(1, LoadSettingsFromPath(&loaded, iniPath.c_str()));
    EXPECT_EQ(ImageBytes(image), ImageBytes(loaded));
}

TEST_F(SettingsFileTest, ASaveReplacesAnOlderFileAndAStaleTemporaryFile)
{
    WriteFileBytes(iniPath, Bytes(100, 0x11));
    std::string stale = iniPath.substr(0, iniPath.size() - 1) + "~";
    WriteFileBytes(stale, Bytes(9000, 0x22)); // left by a save that was cut short
    SettingsImage image = DefaultImage();
    EXPECT_EQ(1, SaveSettingsToPath(&image, iniPath.c_str()));
    EXPECT_EQ(ImageBytes(image), ReadFileBytes(iniPath));
    EXPECT_EQ(std::vector<std::string>{"HLR8.INI"}, FolderContents());
}

// A program kept in a deep folder: a path of well over 128 characters saves and loads.
TEST_F(SettingsFileTest, ASaveInADeepFolderWritesAndLoadsBack)
{
    std::string deep = folder + "\\" + std::string(150, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), 0));
    std::string path = deep + "\\HLR8.INI";
    SettingsImage image = DefaultImage();
    image.comPortIndex = 1;
    EXPECT_EQ(1, SaveSettingsToPath(&image, path.c_str()));
    SettingsImage loaded = DefaultImage();
    EXPECT_EQ(1, LoadSettingsFromPath(&loaded, path.c_str()));
    EXPECT_EQ(1, loaded.comPortIndex);
    DeleteFileA(path.c_str());
    RemoveDirectoryA(deep.c_str());
}

// The longest path a program can have (259 characters) saves and loads: the temporary file
// beside it has a name of the same length.
TEST_F(SettingsFileTest, ASettingsPathOfTheFullLengthSavesAndLoadsBack)
{
    const size_t longest = MAX_PATH - 1;
    std::string directory = folder + "\\";
    directory += std::string(longest - directory.size() - strlen("\\HLR8.INI"), 'p');
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), 0));
    std::string path = directory + "\\HLR8.INI";
    ASSERT_EQ(longest, path.size());
    SettingsImage image = DefaultImage();
    image.baudRate = 14400;
    EXPECT_EQ(1, SaveSettingsToPath(&image, path.c_str()));
    SettingsImage loaded = DefaultImage();
    EXPECT_EQ(1, LoadSettingsFromPath(&loaded, path.c_str()));
    EXPECT_EQ(14400, loaded.baudRate);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_TRUE(RemoveDirectoryA(directory.c_str())) << "a temporary file was left behind";
}

TEST_F(SettingsFileTest, ASaveIntoAMissingDirectoryWritesNothing)
{
    std::string path = folder + "\\missing\\HLR8.INI";
    SettingsImage image = DefaultImage();
    EXPECT_EQ(0, SaveSettingsToPath(&image, path.c_str()));
    EXPECT_TRUE(FolderContents().empty());
}

TEST_F(SettingsFileTest, ASaveThatCannotReplaceTheFileKeepsThePreviousOne)
{
    Bytes previous = ValidFile();
    WriteFileBytes(iniPath, previous);
    SettingsImage image = DefaultImage();

    // Locked by another program.
    HANDLE lock = CreateFileA(iniPath.c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(0, SaveSettingsToPath(&image, iniPath.c_str()));
    CloseHandle(lock);
    EXPECT_EQ(previous, ReadFileBytes(iniPath));
    EXPECT_EQ(std::vector<std::string>{"HLR8.INI"}, FolderContents());

    // A directory in the file's place.
    ASSERT_TRUE(DeleteFileA(iniPath.c_str()));
    ASSERT_TRUE(CreateDirectoryA(iniPath.c_str(), 0));
    EXPECT_EQ(0, SaveSettingsToPath(&image, iniPath.c_str()));
    DWORD attributes = GetFileAttributesA(iniPath.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(std::vector<std::string>{"HLR8.INI"}, FolderContents());
}

// --- Paths ---

TEST(SettingsPaths, DirectoryAndFileNameOfTheProgram)
{
    struct Case
    {
        const char* program;
        const char* directory;
        const char* settingsFile;
    };
    const Case cases[] = {
        {"C:\\APPS\\PANEL.EXE", "C:\\APPS", "C:\\APPS\\HLR8.INI"},
        {"C:\\PANEL.EXE", "C:\\", "C:\\HLR8.INI"},
        {"C:PANEL.EXE", "C:", "C:HLR8.INI"},
        {"PANEL.EXE", "", "HLR8.INI"},
        {"\\PANEL.EXE", "\\", "\\HLR8.INI"},
        {"\\\\SERVER\\SHARE\\PANEL.EXE", "\\\\SERVER\\SHARE", "\\\\SERVER\\SHARE\\HLR8.INI"},
        {"", "", "HLR8.INI"},
    };
    for (const Case& c : cases)
    {
        char directory[SETTINGS_PATH_SIZE];
        char path[SETTINGS_PATH_SIZE];
        EXPECT_EQ(directory, GetDirectoryOfPath(directory, sizeof directory, c.program));
        EXPECT_STREQ(c.directory, directory) << c.program;
        EXPECT_EQ(path, JoinPath(path, sizeof path, directory, "HLR8.INI"));
        EXPECT_STREQ(c.settingsFile, path) << c.program;
    }
}

TEST(SettingsPaths, ResultsThatDoNotFitStayInsideTheirBuffers)
{
    // "C:\APPS" needs 8 bytes with its zero.
    char buffer[16];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(buffer, GetDirectoryOfPath(buffer, 8, "C:\\APPS\\PANEL.EXE"));
    EXPECT_STREQ("C:\\APPS", buffer);
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(nullptr, GetDirectoryOfPath(buffer, 7, "C:\\APPS\\PANEL.EXE"));
    EXPECT_EQ(0, buffer[0]);
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ('#', buffer[i]) << i;

    // "C:\APPS\HLR8.INI" needs 17 bytes.
    char joined[24];
    memset(joined, '#', sizeof joined);
    EXPECT_EQ(joined, JoinPath(joined, 17, "C:\\APPS", "HLR8.INI"));
    EXPECT_STREQ("C:\\APPS\\HLR8.INI", joined);
    memset(joined, '#', sizeof joined);
    EXPECT_EQ(nullptr, JoinPath(joined, 16, "C:\\APPS", "HLR8.INI"));
    EXPECT_EQ(0, joined[0]);
    for (int i = 1; i < 24; ++i)
        EXPECT_EQ('#', joined[i]) << i;

    std::string longDirectory(300, 'D');
    char path[SETTINGS_PATH_SIZE + 8];
    memset(path, '#', sizeof path);
    EXPECT_EQ(nullptr, JoinPath(path, SETTINGS_PATH_SIZE, longDirectory.c_str(), "HLR8.INI"));
    for (int i = 1; i < (int)sizeof path; ++i)
        ASSERT_EQ(i < SETTINGS_PATH_SIZE ? path[i] : '#', path[i]);
    EXPECT_EQ('#', path[SETTINGS_PATH_SIZE]);
}

TEST(SettingsPaths, JoinPathMayExtendTheDirectoryInPlace)
{
    char path[SETTINGS_PATH_SIZE] = "C:\\APPS";
    EXPECT_EQ(path, JoinPath(path, sizeof path, path, "HLR8.INI"));
    EXPECT_STREQ("C:\\APPS\\HLR8.INI", path);
}

TEST(SettingsPaths, TheSettingsFileLiesBesideTheProgramFile)
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, program, sizeof program);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, (DWORD)sizeof program);
    std::string expected(program);
    expected = expected.substr(0, expected.find_last_of("\\:") + 1) + "HLR8.INI";

    char path[SETTINGS_PATH_SIZE];
    EXPECT_EQ(1, GetSettingsPath(0, "HLR8", path, sizeof path));
    EXPECT_STREQ(expected.c_str(), path);

    char small[12];
    memset(small, '#', sizeof small);
    EXPECT_EQ(0, GetSettingsPath(0, "HLR8", small, 8)); // cannot be obtained
    EXPECT_EQ(0, small[0]);
    for (int i = 1; i < 12; ++i)
        EXPECT_EQ('#', small[i]) << i;
}

// --- Program start ---

TEST_F(SettingsFileTest, LoadedValuesReachTheDriverAndTheWorkingFlags)
{
    WriteFileBytes(iniPath, ValidFile());
    CameraDriver driver;
    ResetDriver(&driver);
    WorkingFlags flags = {0, 1, 0, 0};
    SettingsImage image;
    EXPECT_EQ(1,
              LoadSettingsAtStartFromPath(&image, &flags, &driver.portIndex, &driver.lineSpeed,
                                          iniPath.c_str(), 1024, 768, 19));
    EXPECT_EQ(1, settingsLoaded);
    EXPECT_EQ(2, driver.portIndex);
    EXPECT_EQ(14400, driver.lineSpeed);
    EXPECT_EQ(1, flags.largeWindow);
    EXPECT_EQ(0, flags.alwaysOnTop);
    EXPECT_EQ(1, flags.acceleratedSpeed);
    EXPECT_EQ(1, flags.panReversed);
    EXPECT_EQ(100, image.windowRect.left);
    EXPECT_EQ(200, image.windowRect.top);
}

TEST_F(SettingsFileTest, WithoutAFileTheDriverAndTheFlagsKeepTheirValues)
{
    CameraDriver driver;
    ResetDriver(&driver);
    driver.portIndex = 1;
    WorkingFlags flags = {0, 1, 0, 0};
    SettingsImage image;
    settingsLoaded = 1;
    EXPECT_EQ(0,
              LoadSettingsAtStartFromPath(&image, &flags, &driver.portIndex, &driver.lineSpeed,
                                          iniPath.c_str(), 1024, 768, 19));
    EXPECT_EQ(0, settingsLoaded);
    EXPECT_EQ(1, driver.portIndex);
    EXPECT_EQ(9600, driver.lineSpeed);
    EXPECT_EQ(1, flags.alwaysOnTop);
    EXPECT_EQ(1, image.alwaysOnTop); // the defaults took the working copy
    EXPECT_EQ(UNSET_POSITION, image.windowRect.left);
    EXPECT_EQ(UNSET_POSITION, image.windowRect.top);
}

TEST(SettingsStart, AnOffScreenSavedPositionIsReset)
{
    // A 1024 x 768 screen with 19-pixel captions: edges at 1005 and 749 and beyond are lost.
    struct Case
    {
        int32_t saved;
        int32_t leftAfter;
        int32_t topAfter;
    };
    const Case cases[] = {
        {-50, -50, -50},
        {0, 0, 0},
        {748, 748, 748},
        {749, 749, UNSET_POSITION},
        {1004, 1004, UNSET_POSITION},
        {1005, UNSET_POSITION, UNSET_POSITION},
        {3000, UNSET_POSITION, UNSET_POSITION},
        {UNSET_POSITION, UNSET_POSITION, UNSET_POSITION},
    };
    for (const Case& c : cases)
    {
        SettingsImage image = DefaultImage();
        image.windowRect.left = c.saved;
        image.windowRect.top = c.saved;
        WorkingFlags flags = {0, 0, 0, 0};
        CameraDriver driver;
        ResetDriver(&driver);
        ApplyLoadedSettings(&image, &flags, &driver.portIndex, &driver.lineSpeed, 1024, 768, 19);
        EXPECT_EQ(c.leftAfter, image.windowRect.left) << "saved " << c.saved;
        EXPECT_EQ(c.topAfter, image.windowRect.top) << "saved " << c.saved;
    }
}

// --- Shutdown ---

TEST(SettingsShutdown, TheSnapshotIsARawCopyOfTheDriverOnlyWhileTheLinkIsOpen)
{
    DriverSnapshot driver;
    memset(&driver, 0x3C, sizeof driver);
    driver.panSpeed = 0x01020304;
    SettingsImage image = DefaultImage();
    memset(image.driverSnapshot, 0xEE, sizeof image.driverSnapshot);

    TakeDriverSnapshot(&image, (const uint8_t*)&driver, 0);
    for (int i = 0; i < DRIVER_SNAPSHOT_SIZE; ++i)
        ASSERT_EQ(0xEE, image.driverSnapshot[i]) << "link closed, byte " << i;

    // The 32-bit record fills the field exactly; the wider 64-bit one gives its first bytes.
    TakeDriverSnapshot(&image, (const uint8_t*)&driver, 1);
    EXPECT_EQ(0, memcmp(image.driverSnapshot, &driver, DRIVER_SNAPSHOT_SIZE));
    if (sizeof(void*) == 4)
        EXPECT_EQ((size_t)DRIVER_SNAPSHOT_SIZE, sizeof driver);
    else
        EXPECT_LT((size_t)DRIVER_SNAPSHOT_SIZE, sizeof driver);
}

TEST_F(SettingsFileTest, ShutdownSavesTheWindowAndTheFlagsOncePerRun)
{
    HWND window =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 30, 40, 100, 50, 0, 0, GetModuleHandleA(0), 0);
    ASSERT_NE(nullptr, window);
    WorkingFlags flags = {1, 1, 0, 4};
    SettingsImage image = DefaultImage();

    EXPECT_EQ(1, SaveSettingsAtShutdownToPath(&image, &flags, window, iniPath.c_str()));
    EXPECT_EQ(1, settingsSaved);
    Bytes file = ReadFileBytes(iniPath);
    ASSERT_EQ(4904u, file.size());
    EXPECT_EQ(30, ReadInt32(file, 88));
    EXPECT_EQ(40, ReadInt32(file, 92));
    EXPECT_EQ(130, ReadInt32(file, 96));
    EXPECT_EQ(90, ReadInt32(file, 100));
    EXPECT_EQ(1, ReadInt32(file, 104));
    EXPECT_EQ(1, ReadInt32(file, 108));
    EXPECT_EQ(0, ReadInt32(file, 112));
    EXPECT_EQ(1, ReadInt32(file, 116));

    // A log-off that was cancelled, then the window closes: nothing is written again.
    ASSERT_TRUE(DeleteFileA(iniPath.c_str()));
    flags.largeWindow = 0;
    EXPECT_EQ(0, SaveSettingsAtShutdownToPath(&image, &flags, window, iniPath.c_str()));
    EXPECT_TRUE(FolderContents().empty());
    EXPECT_EQ(1, image.largeWindow);
    DestroyWindow(window);
}
