// The one line the file service writes per request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

struct RequestRecord {
    std::string method; // empty when the request never reached the service's handler
    std::string target; // the request target as sent: path and query, still escaped
    int status = 0;     // 0 when no answer of ours was queued
    std::uint64_t bytes = 0;
    bool completed = true; // false when the exchange ended before the whole answer was sent
};

// "GET /download?file=Morvik.exe 200 1048576 3ms". A target longer than 512 characters is
// cut and marked; characters that could break the line are written as \xNN. An exchange
// that ended early says so at the end.
std::string FormatRequestLine(const RequestRecord& request, std::int64_t milliseconds);

} // namespace corvane
