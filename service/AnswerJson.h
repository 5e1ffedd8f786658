// The JSON answers of the file service.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// An age as the service sends it: local time with milliseconds and no offset,
// "2022-03-01T10:15:30.123". The updater keeps it as it stands and stamps files with it.
std::string IsoAge(TDateTime age);

struct TListingEntry {
    std::string_view FileName; // relative to the root, backslashes between folders
    std::string_view Age;      // IsoAge of the file's last-write time
    std::uint64_t size = 0;    // the content's length in bytes
    std::string_view sha256;   // its SHA-256 in lower-case hex; empty when unknown
};

// The listing answer: an array of {"fileName": ..., "age": ..., "size": ..., "sha256": ...};
// an entry without a hash goes without size and sha256, which the updater then does not check.
std::string ListingJson(const std::vector<TListingEntry>& files);

// The error answer: {"error": ..., "status": ..., "detail": ...}.
std::string ErrorJson(int status, std::string_view error, std::string_view detail);

} // namespace corvane
