// A whole file's bytes, for the tests that compare files byte for byte.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Empty when the file cannot be opened.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
