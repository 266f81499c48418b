#include "acm/ResultTexts.h"

#include <cstdint>

namespace {

struct TResultText {
    MMRESULT Code;
    const char* Text;
    bool DeviceOnly;
};

const TResultText Table[] = {
    {MMSYSERR_BADDEVICEID, " The specified resource does not exist.", true},
    {MMSYSERR_ALLOCATED, " The specified resource is already in use.", true},
    {MMSYSERR_INVALHANDLE, " The specified handle is invalid.", false},
    {MMSYSERR_NODRIVER, " A suitable driver is not available to provide valid format selections.", false},
    {MMSYSERR_NOMEM, " The system is unable to allocate resources.", false},
    {MMSYSERR_INVALFLAG, " At least one flag is invalid.", false},
    {MMSYSERR_INVALPARAM, " At least one parameter is invalid.", false},
    {WAVERR_BADFORMAT, " Unsupported audio format.", true},
    {WAVERR_SYNC, " The specified device does not support asynchronous operation.", true},
    {ACMERR_NOTPOSSIBLE, " The requested operation cannot be performed.", false},
    {ACMERR_BUSY, " The conversion stream is already in use.", false},
    {ACMERR_UNPREPARED, " Cannot perform this action on a header that has not been prepared.", false},
};

}  // namespace

std::string ResultMessage(const std::string& label, MMRESULT code, TResultTexts texts)
{
    for (const TResultText& entry : Table)
        if (entry.Code == code && (texts == TResultTexts::Device || !entry.DeviceOnly))
            return label + entry.Text;
    // The code is shown as the signed number the platform's result type holds.
    return label + " raised an unknown error (code #" + std::to_string(static_cast<int32_t>(code)) + ")";
}
