// Texts of the result codes, as the user reads them in the program's message box.
#include "link/result_codes.h"

#include <stdio.h>

static const char* FixedResultText(ResultCode code)
{
    switch (code)
    {
    case RESULT_BAD_PARAMETERS: return "Error initializing driver parameters";
    case RESULT_COMM_INIT_FAILED: return "Error initializing communications";
    case RESULT_SETTINGS_FAILED: return "Error setting driver parameters";
    case RESULT_PARAMETER_ERROR: return "Driver parameter error";
    case RESULT_OUT_OF_MEMORY: return "Out of memory";
    case RESULT_NAK: return "NAK response received";
    case RESULT_BAD_LENGTH: return "Invalid response length";
    case RESULT_NOT_CONNECTED: return "HL-R8 is not connected";
    case RESULT_TIMEOUT: return "HL-R8 is not responding\n";
    case RESULT_READ_ERROR: return "Receive character I/O error";
    case RESULT_WRITE_ERROR: return "Send character I/O error";
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
