#pragma once

#include "acm/MMSystem.h"

#include <string>

// The device errors of the buffered wave components (the output with its holding back, the
// capture): a failed device call becomes a message made of the operation's name and the text
// of its code, with the wave devices' texts of the one table of result texts (ResultMessage).

// The message for a nonzero result code of the operation.
std::string DeviceErrorMessage(const std::string& operation, MMRESULT code);

// Raises E with the table's message for a nonzero code; 0 raises nothing.
template <typename E>
void RaiseDeviceError(const char* operation, MMRESULT code)
{
    if (code != MMSYSERR_NOERROR)
        throw E(DeviceErrorMessage(operation, code));
}
