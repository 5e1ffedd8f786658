#include "update/LauncherVersion.h"

#include "platform/FileSystem.h"
#include "update/VersionInfo.h"

namespace corvane {

namespace {

class TFileSource : public TByteSource {
public:
    explicit TFileSource(const TFileBytes& file) : FFile(file) {}
    uint64_t Size() const override { return FFile.Size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        return FFile.ReadAt(offset, into);
    }

private:
    const TFileBytes& FFile;
};

} // namespace

std::string FileVersionOf(std::string_view path) {
    const TFileBytes file(path);
    if (!file.IsOpen())
        return {};
    TFileSource source(file);
    const auto version = ReadFileVersion(source);
    return version ? VersionText(*version) : std::string();
}

bool LauncherUpdateDue(std::string_view localVersion, std::string_view serverVersion) {
    return !localVersion.empty() && !serverVersion.empty() && localVersion != serverVersion;
}

} // namespace corvane
