#include "platform/Errors.h"

#include <cstring>

namespace corvane {

std::string SystemErrorMessage(int errorCode) {
    char buffer[256];
    // GNU strerror_r returns the message, which may or may not be in the buffer.
    const char* message = strerror_r(errorCode, buffer, sizeof buffer);
    return message;
}

} // namespace corvane
