#include "update/RemoteSource.h"

#include "platform/Locale.h"

#include <utility>

namespace corvane {

void RemoteFileList::Add(FileRecord file) {
    std::string key = UpperCase(file.fileName);
    if (ambiguousKeys_.contains(key))
        return;
    const auto [at, added] = files_.try_emplace(std::move(key), std::move(file));
    if (!added) {
        ambiguousKeys_.insert(at->first);
        files_.erase(at);
    }
}

void RemoteFileList::Reserve(std::size_t files) {
    files_.reserve(files);
}

const FileRecord* RemoteFileList::Find(const std::string& key) const {
    const auto at = files_.find(key);
    return at == files_.end() ? nullptr : &at->second;
}

bool RemoteFileList::IsAmbiguous(const std::string& key) const {
    return ambiguousKeys_.contains(key);
}

void RemoteFileList::AddUnreadFolder(std::string folderName, std::string message) {
    unreadFolders_.push_back({std::move(folderName), std::move(message)});
}

} // namespace corvane
