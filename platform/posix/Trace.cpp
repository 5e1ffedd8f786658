#include "platform/Trace.h"

#include <string>
#include <unistd.h>

namespace corvane {

void WriteTraceLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    // One write call per line keeps lines of concurrent jobs apart.
    WriteStandardError(text);
}

void WriteStandardError(std::string_view text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written <= 0)
            return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace corvane
