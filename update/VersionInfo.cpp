#include "update/VersionInfo.h"

#include "update/VersionInfoReader.h"

#include <cstring>

namespace corvane {

namespace {

class TMemorySource : public TByteSource {
public:
    explicit TMemorySource(std::span<const std::byte> bytes) : FBytes(bytes) {}
    uint64_t Size() const override { return FBytes.size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        if (offset > FBytes.size() || into.size() > FBytes.size() - offset)
            return false;
        if (!into.empty())
            std::memcpy(into.data(), FBytes.data() + offset, into.size());
        return true;
    }

private:
    std::span<const std::byte> FBytes;
};

} // namespace

std::string VersionText(const TFileVersion& version) {
    return std::to_string(version.Major) + '.' + std::to_string(version.Minor) + '.' +
           std::to_string(version.Release) + '.' + std::to_string(version.Build);
}

std::optional<TFileVersionLocation> LocateFileVersion(TByteSource& source) {
    versioninfo::TBoundedReader reader(source);
    std::array<std::byte, 4> magic;
    if (!reader.Read(0, magic))
        return std::nullopt;
    if (magic[0] == std::byte{'M'} && magic[1] == std::byte{'Z'})
        return versioninfo::LocatePEVersion(reader);
    if (magic[0] == std::byte{0x7F} && magic[1] == std::byte{'E'} && magic[2] == std::byte{'L'} &&
        magic[3] == std::byte{'F'})
        return versioninfo::LocateElfVersion(reader);
    return std::nullopt;
}

std::optional<TFileVersionLocation> LocateFileVersion(std::span<const std::byte> bytes) {
    TMemorySource source(bytes);
    return LocateFileVersion(source);
}

std::optional<TFileVersion> ReadFileVersion(TByteSource& source) {
    if (auto location = LocateFileVersion(source))
        return location->Version;
    return std::nullopt;
}

std::optional<TFileVersion> ReadFileVersion(std::span<const std::byte> bytes) {
    TMemorySource source(bytes);
    return ReadFileVersion(source);
}

} // namespace corvane
