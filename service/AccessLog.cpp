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

std::string FormatRequestLine(const TRequestRecord& request, std::int64_t milliseconds) {
    std::string line;
    line.reserve(96 + std::min(request.Target.size(), kMaxTarget));
    AppendPrintable(line, request.Method.empty() ? std::string_view("-") : request.Method);
    line += ' ';
    AppendPrintable(line, std::string_view(request.Target).substr(0, kMaxTarget));
    if (request.Target.size() > kMaxTarget)
        line += "...";
    line += ' ';
    line += request.Status == 0 ? std::string("-") : std::to_string(request.Status);
    line += ' ';
    line += std::to_string(request.Bytes);
    line += ' ';
    line += std::to_string(milliseconds);
    line += "ms";
    if (!request.Completed)
        line += " interrompida";
    return line;
}

} // namespace corvane
