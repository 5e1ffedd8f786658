#include "service/AccessLog.h"

#include <algorithm>
#include <cstdio>

namespace corvane {

namespace {

constexpr size_t kMaxTarget = 512;

void AppendPrintable(std::string& line, std::string_view text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ' ' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            line += escaped;
        } else {
            line += c;
        }
    }
}

} // namespace

std::string FormatRequestLine(const RequestRecord& request, std::int64_t milliseconds) {
    std::string line;
    line.reserve(96 + std::min(request.target.size(), kMaxTarget));
    AppendPrintable(line, request.method.empty() ? std::string_view("-") : request.method);
    line += ' ';
    AppendPrintable(line, std::string_view(request.target).substr(0, kMaxTarget));
    if (request.target.size() > kMaxTarget)
        line += "...";
    line += ' ';
    line += request.status == 0 ? std::string("-") : std::to_string(request.status);
    line += ' ';
    line += std::to_string(request.bytes);
    line += ' ';
    line += std::to_string(milliseconds);
    line += "ms";
    if (!request.completed)
        line += " interrompida";
    return line;
}

} // namespace corvane
