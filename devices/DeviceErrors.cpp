#include "devices/DeviceErrors.h"

#include <cstdint>

namespace {

const char* TableText(MMRESULT code)
{
    switch (code) {
    case MMSYSERR_BADDEVICEID: return " The specified resource does not exist.";
    case MMSYSERR_ALLOCATED: return " The specified resource is already in use.";
    case MMSYSERR_INVALHANDLE: return " The specified handle is invalid.";
    case MMSYSERR_NODRIVER: return " A suitable driver is not available to provide valid format selections.";
    case MMSYSERR_NOMEM: return " The system is unable to allocate resources.";
    case MMSYSERR_INVALFLAG: return " At least one flag is invalid.";
    case MMSYSERR_INVALPARAM: return " At least one parameter is invalid.";
    case WAVERR_BADFORMAT: return " Unsupported audio format.";
    case WAVERR_SYNC: return " The specified device does not support asynchronous operation.";
    case ACMERR_NOTPOSSIBLE: return " The requested operation cannot be performed.";
    case ACMERR_BUSY: return " The conversion stream is already in use.";
    case ACMERR_UNPREPARED: return " Cannot perform this action on a header that has not been prepared.";
    default: return nullptr;
    }
}

}  // namespace

std::string DeviceErrorMessage(const std::string& operation, MMRESULT code)
{
    if (const char* text = TableText(code))
        return operation + text;
    // The code is shown as the signed number the platform's result type holds.
    return operation + " raised an unknown error (code #" + std::to_string(static_cast<int32_t>(code)) + ")";
}
