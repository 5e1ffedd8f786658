// The query strings of the file service's two exchanges, read from the raw request target.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Decodes each %XX escape once (so "%252e" gives "%2e", never "."); with plusIsSpace a '+'
// is a space. A '%' not followed by two hexadecimal digits stays as it is.
std::string PercentDecode(std::string_view text, bool plusIsSpace);

struct QueryParam {
    std::string name;
    std::string value;
};

// A form-encoded query ("folder=%5C&mask=*.*&recursive="), as the listing client writes it:
// pairs split at '&', name and value decoded with '+' as a space. A name without '=' has
// an empty value.
std::vector<QueryParam> ParseFormQuery(std::string_view query);

// The first parameter of that name (letter case ignored), or nothing.
const QueryParam* FindParam(const std::vector<QueryParam>& params, std::string_view name);

// The name in a download query. The download client escapes only what cannot stand in a
// URL and sends '&', '=' and '+' as they are, with "file=" as the only parameter; so the
// name runs from "file=" to the end of the query and '+' is a plus sign.
std::optional<std::string> DownloadFileName(std::string_view query);

} // namespace corvane
