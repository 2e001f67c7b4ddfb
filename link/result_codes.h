// Result codes of the camera link and command set, and the texts the user sees for them.
#pragma once

#include <stdint.h>

typedef int32_t ResultCode;

const ResultCode RESULT_OK = 0;
const ResultCode RESULT_BAD_PARAMETERS = -1;   // port index or baud rate out of range
const ResultCode RESULT_COMM_INIT_FAILED = -2; // event, port or reader thread not created
const ResultCode RESULT_SETTINGS_FAILED = -3;  // line settings not applied
const ResultCode RESULT_PARAMETER_ERROR = -4;  // produced by nothing; text only
const ResultCode RESULT_OUT_OF_MEMORY = -5;    // produced by nothing; text only
const ResultCode RESULT_NAK = -6;              // the camera answered with a NAK
const ResultCode RESULT_BAD_LENGTH = -7;       // a reply of the wrong length
const ResultCode RESULT_NOT_CONNECTED = -8;    // CTS is off
const ResultCode RESULT_TIMEOUT = -9;          // nothing arrived in time
const ResultCode RESULT_READ_ERROR = -10;      // a read from the port failed
const ResultCode RESULT_WRITE_ERROR = -11;     // a write to the port could not be started
const ResultCode RESULT_DRIVER_ERROR = -12;    // produced by nothing; text only

const int RESULT_TEXT_SIZE = 260; // message box texts are at most 259 characters

// Writes the text shown for a code into text (always terminated, never past size).
// The unknown-code texts carry lastResult, the driver's current result, not the code.
// Returns 0 (and an empty text) for success, which shows nothing, else 1.
int FormatResultMessage(ResultCode code, ResultCode lastResult, char* text, int size);
