#include "framework/Exception.h"

#include <cstring>

std::string SystemErrorText(int error)
{
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in buffer.
    return strerror_r(error, buffer, sizeof buffer);
}
