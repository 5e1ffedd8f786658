#include "service/FormQuery.h"

#include "platform/Unicode.h"

namespace corvane {

namespace {

bool SameAsciiName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += plusIsSpace && c == '+' ? ' ' : c;
    }
    return result;
}

std::vector<QueryParam> ParseFormQuery(std::string_view query) {
    std::vector<QueryParam> params;
    while (!query.empty()) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            params.push_back({PercentDecode(pair.substr(0, eq), true),
                              eq == std::string_view::npos
                                  ? std::string()
                                  : PercentDecode(pair.substr(eq + 1), true)});
        }
        if (end == std::string_view::npos)
            break;
        query.remove_prefix(end + 1);
    }
    return params;
}

const QueryParam* FindParam(const std::vector<QueryParam>& params, std::string_view name) {
    for (const QueryParam& param : params)
        if (SameAsciiName(param.name, name))
            return &param;
    return nullptr;
}

std::optional<std::string> DownloadFileName(std::string_view query) {
    constexpr std::string_view kKey = "file=";
    for (size_t start = 0; start < query.size();) {
        if (SameAsciiName(query.substr(start, kKey.size()), kKey))
            return PercentDecode(query.substr(start + kKey.size()), false);
        const size_t amp = query.find('&', start);
        if (amp == std::string_view::npos)
            break;
        start = amp + 1;
    }
    return std::nullopt;
}

} // namespace corvane
