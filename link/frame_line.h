// One line of a frame log, as the virtual camera's frame log and the console's line trace
// write it. Plain C++ with no Win32.
//
//   <ms> COM<n> <direction> <bytes>     ended by CR LF
//   ms         decimal milliseconds of the writer's clock
//   direction  PC>CAM: console to camera; CAM>PC: camera to console
//   bytes      two upper-case hex digits each, separated by single spaces
//   e.g.  1532 COM1 PC>CAM 04 05 12 02 E3
#pragma once

#include <stdint.h>

#include "link/packet.h"

extern const char FRAME_TO_CAMERA[];   // "PC>CAM"
extern const char FRAME_FROM_CAMERA[]; // "CAM>PC"

const int FRAME_LINE_BYTES = FRAME_MAX_LENGTH + 1; // bytes shown on one line at most
const int FRAME_LINE_SIZE = 160; // room for the longest line: 10 digits, port, label, 33 bytes

// Writes the line into line (FRAME_LINE_SIZE bytes, no terminating zero) and returns its
// length. Bytes beyond FRAME_LINE_BYTES are left out; the label is at most 15 characters.
int FormatFrameLine(char* line, uint32_t ms, int portIndex, const char* direction,
                    const uint8_t* bytes, int count);
