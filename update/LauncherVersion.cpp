#include "update/LauncherVersion.h"

#include "platform/FileSystem.h"
#include "update/VersionInfo.h"

namespace corvane {

namespace {

class FileSource : public ByteSource {
public:
    explicit FileSource(const FileBytes& file) : file_(file) {}
    uint64_t Size() const override { return file_.Size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        return file_.ReadAt(offset, into);
    }

private:
    const FileBytes& file_;
};

} // namespace

std::string FileVersionOf(std::string_view path) {
    const FileBytes file(path);
    if (!file.IsOpen())
        return {};
    FileSource source(file);
    const auto version = ReadFileVersion(source);
    return version ? VersionText(*version) : std::string();
}

bool LauncherUpdateDue(std::string_view localVersion, std::string_view serverVersion) {
    return !localVersion.empty() && !serverVersion.empty() && localVersion != serverVersion;
}

} // namespace corvane
