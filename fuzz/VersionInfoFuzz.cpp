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

bool StoredWhereItSays(const uint8_t* data, size_t size, const corvane::FileVersionLocation& l) {
    using corvane::VersionEncoding;
    const size_t width = l.encoding == VersionEncoding::PEFixedFileInfo ? 8 : 16;
    if (l.offset > size || width > size - l.offset)
        return false;
    const uint8_t* at = data + l.offset;
    const auto& v = l.version;
    if (l.encoding == VersionEncoding::PEFixedFileInfo)
        return Number(at, false) == (uint32_t{v.major} << 16 | v.minor) &&
               Number(at + 4, false) == (uint32_t{v.release} << 16 | v.build);
    const bool big = l.encoding == VersionEncoding::ElfNoteBig;
    return Number(at, big) == v.major && Number(at + 4, big) == v.minor &&
           Number(at + 8, big) == v.release && Number(at + 12, big) == v.build;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto bytes = std::as_bytes(std::span(data, size));
    const auto location = corvane::LocateFileVersion(bytes);
    if (location && !StoredWhereItSays(data, size, *location))
        __builtin_trap();
    if (corvane::ReadFileVersion(bytes) !=
        (location ? std::optional(location->version) : std::nullopt))
        __builtin_trap();
    return 0;
}
