#include "update/VersionInfo.h"

#include "update/VersionInfoReader.h"

#include <cstring>

namespace corvane {

namespace {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> bytes) : bytes_(bytes) {}
    uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        if (offset > bytes_.size() || into.size() > bytes_.size() - offset)
            return false;
        if (!into.empty())
            std::memcpy(into.data(), bytes_.data() + offset, into.size());
        return true;
    }

private:
    std::span<const std::byte> bytes_;
};

} // namespace

std::string VersionText(const FileVersion& version) {
    return std::to_string(version.major) + '.' + std::to_string(version.minor) + '.' +
           std::to_string(version.release) + '.' + std::to_string(version.build);
}

std::optional<FileVersionLocation> LocateFileVersion(ByteSource& source) {
    versioninfo::BoundedReader reader(source);
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

std::optional<FileVersionLocation> LocateFileVersion(std::span<const std::byte> bytes) {
    MemorySource source(bytes);
    return LocateFileVersion(source);
}

std::optional<FileVersion> ReadFileVersion(ByteSource& source) {
    if (auto location = LocateFileVersion(source))
        return location->version;
    return std::nullopt;
}

std::optional<FileVersion> ReadFileVersion(std::span<const std::byte> bytes) {
    MemorySource source(bytes);
    return ReadFileVersion(source);
}

} // namespace corvane
