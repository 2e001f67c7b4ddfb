// One line of a frame log (no Win32). See frame_line.h.
#include "link/frame_line.h"

const char FRAME_TO_CAMERA[] = "PC>CAM";
const char FRAME_FROM_CAMERA[] = "CAM>PC";

const int LABEL_LIMIT = 15;

static char* PutText(char* out, const char* text, int limit)
{
    for (int i = 0; i < limit && text[i]; ++i)
        *out++ = text[i];
    return out;
}

static char* PutDecimal(char* out, uint32_t value)
{
    char digits[10];
    int count = 0;
    do
    {
        digits[count++] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

static char* PutHex(char* out, uint8_t value)
{
    const char* HEX = "0123456789ABCDEF";
    *out++ = HEX[value >> 4];
    *out++ = HEX[value & 0x0F];
    return out;
}

int FormatFrameLine(char* line, uint32_t ms, int portIndex, const char* direction,
                    const uint8_t* bytes, int count)
{
    if (count > FRAME_LINE_BYTES)
        count = FRAME_LINE_BYTES;
    char* out = PutDecimal(line, ms);
    out = PutText(out, " COM", 4);
    *out++ = (char)('1' + (portIndex & 7));
    *out++ = ' ';
    out = PutText(out, direction, LABEL_LIMIT);
    for (int i = 0; i < count; ++i)
    {
        *out++ = ' ';
        out = PutHex(out, bytes[i]);
    }
    out = PutText(out, "\r\n", 2);
    return (int)(out - line);
}
