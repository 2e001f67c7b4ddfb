#include "tests/file_bytes.h"

#include <windows.h>

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    uint8_t chunk[1024];
    DWORD count = 0;
    while (ReadFile(file, chunk, sizeof chunk, &count, 0) && count > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    CloseHandle(file);
    return bytes;
}
