// Texts of the result codes, as the user reads them in the program's message box.
#include "link/result_codes.h"

#include <stdio.h>

static const char* FixedResultText(ResultCode code)
{
    switch (code)
    {
    case -1: return "Error initializing driver parameters";
    case -2: return "Error initializing communications";
    case -3: return "Error setting driver parameters";
    case -4: return "Driver parameter error";
    case -5: return "Out of memory";
    case -6: return "NAK response received";
    case -7: return "Invalid response length";
    case -8: return "HL-R8 is not connected";
    case -9: return "HL-R8 is not responding\n";
    case -10: return "Receive character I/O error";
    case -11: return "Send character I/O error";
    default: return 0;
    }
}

int FormatResultMessage(ResultCode code, ResultCode lastResult, char* text, int size)
{
    if (size <= 0)
        return code != RESULT_OK;
    text[0] = '\0';
    if (code == RESULT_OK)
        return 0;
    const char* fixed = FixedResultText(code);
    if (fixed)
        snprintf(text, (size_t)size, "%s", fixed);
    else if (code == RESULT_DRIVER_ERROR)
        snprintf(text, (size_t)size, "Unknown driver error [%d]", (int)lastResult);
    else
        snprintf(text, (size_t)size, "Unknown error [%d]", (int)lastResult);
    return 1;
}
