// The version reader on arbitrary bytes: it must never read outside them nor take long, and
// a version it reports must be the numbers stored where it says they are.
#include "update/VersionInfo.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

uint32_t Number(const uint8_t* at, bool big) {
    return big ? uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3]
               : uint32_t{at[3]} << 24 | uint32_t{at[2]} << 16 | uint32_t{at[1]} << 8 | at[0];
}

bool StoredWhereItSays(const uint8_t* data, size_t size, const corvane::TFileVersionLocation& l) {
    using corvane::TVersionEncoding;
    const size_t width = l.Encoding == TVersionEncoding::PEFixedFileInfo ? 8 : 16;
    if (l.Offset > size || width > size - l.Offset)
        return false;
    const uint8_t* at = data + l.Offset;
    const auto& v = l.Version;
    if (l.Encoding == TVersionEncoding::PEFixedFileInfo)
        return Number(at, false) == (uint32_t{v.Major} << 16 | v.Minor) &&
               Number(at + 4, false) == (uint32_t{v.Release} << 16 | v.Build);
    const bool big = l.Encoding == TVersionEncoding::ElfNoteBig;
    return Number(at, big) == v.Major && Number(at + 4, big) == v.Minor &&
           Number(at + 8, big) == v.Release && Number(at + 12, big) == v.Build;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = std::as_bytes(std::span(data, size));
    const auto location = corvane::LocateFileVersion(bytes);
    if (location && !StoredWhereItSays(data, size, *location))
        __builtin_trap();
    if (corvane::ReadFileVersion(bytes) !=
        (location ? std::optional(location->Version) : std::nullopt))
        __builtin_trap();
    return 0;
}
