#pragma once
// The texts of the messages that tell how an operation ended.
#include "worker/Progresscodes.h"

// The reason for a failure code, for the line after the failure message; empty for
// fcNone and for a code this program does not know.
const char* FailureText(TFailureCode code);
