// Frame checksum and classification of the HL-R8 protocol (no Win32).
#include "link/packet.h"

const uint8_t ACK_FRAME[ACK_FRAME_SIZE] = {0x03, ACK_DEVICE_BYTE, ACK_CODE, 0x75};
const uint8_t CHECKSUM_NAK_FRAME[ACK_FRAME_SIZE] = {0x03, ACK_DEVICE_BYTE, NAK_CHECKSUM_CODE,
                                                    0x65};

uint8_t FrameChecksum(const uint8_t* bytes, int length)
{
    uint8_t sum = 0;
    for (int i = 0; i < length; ++i)
        sum = (uint8_t)(sum + bytes[i]);
    return (uint8_t)(0x100 - sum);
}

int FrameSumIsZero(const uint8_t* frame)
{
    int length = frame[0];
    uint8_t sum = 0;
    for (int i = 0; i <= length; ++i)
        sum = (uint8_t)(sum + frame[i]);
    return sum == 0;
}

int IsLengthByte(int value)
{
    return value >= FRAME_MIN_LENGTH && value <= FRAME_MAX_LENGTH;
}

int FrameTotalLength(const uint8_t* frame)
{
    return frame[0] + 1;
}

FrameKind ClassifyFrame(const uint8_t* frame)
{
    if (frame[1] & ACK_FLAG)
        return frame[2] == ACK_CODE ? FRAME_ACK : FRAME_NAK;
    if (frame[2] & EVENT_FLAG)
        return FRAME_EVENT;
    return FRAME_REPLY;
}

uint8_t FrameDevice(const uint8_t* frame)
{
    return (uint8_t)(frame[1] & DEVICE_MASK);
}

uint8_t FrameCommand(const uint8_t* frame)
{
    return (uint8_t)(frame[2] & COMMAND_MASK);
}

int FrameAnswersRequest(const uint8_t* frame, const uint8_t* request)
{
    return FrameDevice(frame) == FrameDevice(request) &&
           FrameCommand(frame) == FrameCommand(request);
}

uint16_t ReadBigEndian16(const uint8_t* bytes)
{
    return (uint16_t)((bytes[0] << 8) | bytes[1]);
}

void WriteBigEndian16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = (uint8_t)(value >> 8);
    bytes[1] = (uint8_t)(value & 0xFF);
}
