#include "devices/DeviceErrors.h"

#include "acm/ResultTexts.h"

std::string DeviceErrorMessage(const std::string& operation, MMRESULT code)
{
    return ResultMessage(operation, code, TResultTexts::Device);
}
