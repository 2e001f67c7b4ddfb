// Test fixture: the console started in the test process as the program starts it (real main
// window, virtual cameras), and the frames its cameras received, read from their frame logs.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

typedef std::vector<std::string> Frames;

// The requests of the start-up sequence, checksums left out.
extern const Frames START_UP_REQUESTS;
extern const char SELECT_MODE_1[];

std::string Hex(const uint8_t* bytes, int count);
uint32_t LogCount(int port);
// The requests the camera on a port received from a log sequence number on (the program's
// ACKs left out), without their checksums.
Frames RequestsSince(int port, uint32_t start);

// One frame of a camera's log with the camera's line time.
struct LoggedFrame
{
    uint32_t ms;
    bool fromProgram;  // PC>CAM
    std::string bytes; // checksum left out
    int length;        // total bytes on the line, checksum included
};
std::vector<LoggedFrame> LogSince(int port, uint32_t start);

std::string SettingsPath(); // HLR8.INI beside the test program
long FileSize(const std::string& path);

class ConsoleTest : public ::testing::Test
{
  protected:
    void SetUp() override;
    void TearDown() override;
    // Starts the console as the program does; the class is registered by the first start only.
    void Start(const char* commandLine, int showCommand = SW_SHOWNORMAL);
    // WM_CLOSE through the program's own message loop, which ends with the window.
    void Close();
};
