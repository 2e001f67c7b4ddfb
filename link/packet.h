// Frame format of the HL-R8 serial protocol: constants, command codes, checksum and the
// classification of received frames. Plain C++ with no Win32, so the virtual camera and
// native tools can share it.
//
// A frame is N + 1 bytes: length N (3..32, counting itself), device byte, command byte,
// 0..29 parameter bytes, and a checksum that makes all N + 1 bytes add up to 0 mod 256.
#pragma once

#include <stdint.h>

// Frame limits.
const int FRAME_MIN_LENGTH = 3;    // smallest length byte a receiver accepts
const int FRAME_MAX_LENGTH = 32;   // largest length byte a receiver accepts
const int FRAME_BUFFER_SIZE = 256; // every receive buffer; a 33-byte frame fits with room

// Device byte: low nibble is the unit, bit 7 marks an acknowledgement.
const uint8_t ACK_FLAG = 0x80;
const uint8_t DEVICE_MASK = 0x0F;

// Command byte: low 5 bits are the command code; the top three bits are flags.
const uint8_t COMMAND_MASK = 0x1F;
const uint8_t EVENT_FLAG = 0x20; // unsolicited event frame
const uint8_t ERROR_FLAG = 0x40; // device error report
const uint8_t READY_FLAG = 0x80; // in a received frame: the camera is up

// DeviceId values.
const uint8_t DEVICE_CAMERA_HEAD = 1;
const uint8_t DEVICE_PAN_TILTER = 5;
const uint8_t DEVICE_CCU = 8;

// Command codes understood by every unit.
const uint8_t STATE_REQUEST = 4;
const uint8_t ERROR_NOTIFY = 3;
const uint8_t DISPLAY_NOTIFY = 15;

// CCU (video adapter).
const uint8_t END_REQUEST = 1;
const uint8_t WHITEBALANCE_REQUEST = 16;
const uint8_t FADE_REQUEST = 17;
const uint8_t MUTE_REQUEST = 18;
const uint8_t MODESELECT_REQUEST = 23;
const uint8_t PRESET_REQUEST = 24;

// Camera head.
const uint8_t FOCUS_REQUEST = 16;
const uint8_t FOCUS_NOTIFY = 17;
const uint8_t ZOOM_REQUEST = 18;
const uint8_t ZOOM_NOTIFY = 19;
const uint8_t EXPOSURE_REQUEST = 20;

// Pan tilter.
const uint8_t INIT_REQUEST = 0;
const uint8_t MEMORY_REQUEST = 7;
const uint8_t SETUP_REQUEST = 16;
const uint8_t HOME_REQUEST = 17;
const uint8_t PANTILT_REQUEST = 18;
const uint8_t LIMIT_NOTIFY = 22;
const uint8_t REMOTE_REQUEST = 23;
const uint8_t REMOTE_NOTIFY = 24;
const uint8_t LED_REQUEST = 25;
const uint8_t POWER_NOTIFY = 27;

// The two acknowledgement frames the program sends (device byte ACK_FLAG | CCU).
const uint8_t ACK_DEVICE_BYTE = 0x88;
const uint8_t ACK_CODE = 0x00;
const uint8_t NAK_CHECKSUM_CODE = 0x10;
const int ACK_FRAME_SIZE = 4;
extern const uint8_t ACK_FRAME[ACK_FRAME_SIZE];          // 03 88 00 75
extern const uint8_t CHECKSUM_NAK_FRAME[ACK_FRAME_SIZE]; // 03 88 10 65

// What a good received frame is, tested in this order.
enum FrameKind
{
    FRAME_ACK,   // acknowledgement with code 0
    FRAME_NAK,   // acknowledgement with any other code
    FRAME_EVENT, // unsolicited event from a unit
    FRAME_REPLY  // reply or completion frame answering a request
};

// The checksum byte for bytes 0 .. length-1: the negated 8-bit sum.
uint8_t FrameChecksum(const uint8_t* bytes, int length);

// 1 when the 8-bit sum of the whole frame (bytes 0 .. frame[0]) is 0.
int FrameSumIsZero(const uint8_t* frame);

// 1 when a byte can start a frame (a length byte of 3..32).
int IsLengthByte(int value);

// Total bytes of a frame including the checksum: length byte + 1.
int FrameTotalLength(const uint8_t* frame);

FrameKind ClassifyFrame(const uint8_t* frame);

uint8_t FrameDevice(const uint8_t* frame);  // byte 1, low nibble
uint8_t FrameCommand(const uint8_t* frame); // byte 2, low 5 bits

// 1 when a reply or completion frame answers the request: same unit and command code,
// whatever the other bits of the device and command bytes hold.
int FrameAnswersRequest(const uint8_t* frame, const uint8_t* request);

// Reads a 16-bit value sent most significant byte first.
uint16_t ReadBigEndian16(const uint8_t* bytes);
void WriteBigEndian16(uint8_t* bytes, uint16_t value);
