#include "service/FileCatalog.h"

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/Sha256.h"
#include "service/AnswerJson.h"
#include "service/FileMask.h"
#include "service/RequestedNames.h"

#include <algorithm>
#include <unordered_set>

namespace corvane {

namespace {

// Listings kept per tree state; past this the cache starts again, so odd masks sent by
// anyone cannot make it grow without end.
constexpr size_t kMaxCachedBytes = 64u << 20;

std::optional<std::string> TryUpperCase(std::string_view text) {
    try {
        return UpperCase(text);
    } catch (const Exception&) {
        return std::nullopt;
    }
}

// The lower-case hex SHA-256 of a file's content and the number of bytes it was taken from;
// nothing when the file cannot be read, which is then listed without them.
struct ContentHash {
    std::uint64_t size = 0;
    std::string sha256;
};

std::optional<ContentHash> HashContent(const ServiceRoot& root, const std::string& name) {
    const std::optional<ServedFile> file = root.OpenFile(name);
    if (!file)
        return std::nullopt;
    Sha256 hash;
    ContentHash content;
    if (!file->ReadFromStart([&](const char* data, std::size_t size) {
            hash.Update(data, size);
            content.size += size;
        }))
        return std::nullopt;
    content.sha256 = Sha256Hex(hash.Finish());
    return content;
}

} // namespace

struct FileCatalog::Index {
    std::uint64_t generation = 0;
    struct File {
        std::string name;  // relative, backslashes
        std::string upper; // Name upper-cased
        std::string age;   // ISO text
        size_t leafStart;  // where the name after the last backslash begins
        // The content's size and hash, taken once per content: kept from the previous index
        // while the file's stamp is the same. Empty sha256: the file could not be read.
        ContentStamp stamp;
        std::uint64_t size = 0;
        std::string sha256;
        bool hashSettled = false; // the file had stood unchanged long enough when it was read
    };
    std::vector<File> files; // sorted by Name
    std::unordered_map<std::string, size_t> fileByUpper;
    std::unordered_set<std::string> folders; // every folder's name, "" for the root
    std::unordered_map<std::string, std::string> folderByUpper;
    std::unordered_map<std::string, std::shared_ptr<const ListingText>> bodies;
    size_t bodyBytes = 0;

    // The folder's name as it is on disk: the name as written when it exists, else the first
    // folder (in name order) equal to it without regard to case.
    std::optional<std::string> FindFolder(const std::string& name) const {
        if (folders.count(name))
            return name;
        const auto upper = TryUpperCase(name);
        if (!upper)
            return std::nullopt;
        const auto found = folderByUpper.find(*upper);
        if (found == folderByUpper.end())
            return std::nullopt;
        return found->second;
    }

    // Gives file, of this index being built, its content's size and hash: those previous
    // holds for it while its stamp is unchanged, else read from the file now (true).
    static bool TakeContentHash(const Index* previous, const ServiceRoot& root, File& file,
                                std::chrono::nanoseconds settle) {
        // Both indexes hold their files sorted by name.
        if (previous) {
            const auto found = std::lower_bound(
                previous->files.begin(), previous->files.end(), file.name,
                [](const File& listed, const std::string& name) { return listed.name < name; });
            if (found != previous->files.end() && found->name == file.name &&
                found->stamp == file.stamp && found->hashSettled) {
                file.size = found->size;
                file.sha256 = found->sha256;
                file.hashSettled = true;
                return false;
            }
        }
        file.hashSettled = StampSettled(file.stamp, settle);
        if (std::optional<ContentHash> content = HashContent(root, file.name)) {
            file.size = content->size;
            file.sha256 = std::move(content->sha256);
        }
        return true;
    }
};

FileCatalog::FileCatalog(std::string_view root, bool contentChecks, std::chrono::nanoseconds settle)
    : root_(root), contentChecks_(contentChecks), settle_(settle) {
    // Every file is read once for its hash before the first listing is asked for, so that no
    // workstation waits for the whole tree to be read.
    std::lock_guard lock(lock_);
    Refresh();
}

void FileCatalog::Refresh() {
    const std::uint64_t generation = root_.Generation();
    if (index_ && index_->generation == generation)
        return;
    std::vector<ServedEntry> entries = root_.Walk();
    ++walks_;
    auto index = std::make_shared<Index>();
    index->generation = generation;
    index->folders.insert(std::string());
    index->folderByUpper.emplace(std::string(), std::string());
    for (ServedEntry& entry : entries) {
        auto upper = TryUpperCase(entry.name);
        if (!upper)
            continue;
        if (entry.isFolder) {
            index->folderByUpper.emplace(std::move(*upper), entry.name);
            index->folders.insert(std::move(entry.name));
            continue;
        }
        const size_t slash = entry.name.rfind('\\');
        const size_t leaf = slash == std::string::npos ? 0 : slash + 1;
        index->fileByUpper.emplace(*upper, index->files.size());
        index->files.push_back({std::move(entry.name),
                                std::move(*upper),
                                IsoAge(entry.age),
                                leaf,
                                entry.stamp,
                                0,
                                {},
                                false});
        if (contentChecks_ &&
            Index::TakeContentHash(index_.get(), root_, index->files.back(), settle_))
            ++filesHashed_;
    }
    index_ = std::move(index);
}

ListingAnswer FileCatalog::Listing(std::string_view folder, std::string_view mask, bool recursive) {
    const auto parts = SplitRequestedFolder(folder);
    const FileMask fileMask(mask);
    std::lock_guard lock(lock_);
    Refresh();
    Index& index = *index_;
    const std::optional<std::string> found =
        parts ? index.FindFolder(JoinNameParts(*parts, '\\')) : std::nullopt;
    if (!found) {
        auto error = std::make_shared<ListingText>();
        error->json = ErrorJson(kNoSuchFolder);
        return {kNoSuchFolder.status, std::move(error)};
    }

    return {200, FolderListing(*found, fileMask, recursive)};
}

std::shared_ptr<const ListingText>
FileCatalog::FolderListing(const std::string& folder, const FileMask& fileMask, bool recursive) {
    Index& index = *index_;
    std::string key = folder;
    key += '\0';
    key += fileMask.Key();
    key += '\0';
    key += recursive ? 'R' : 'F';
    if (const auto cached = index.bodies.find(key); cached != index.bodies.end())
        return cached->second;

    // Files beneath the folder: its name and a backslash start theirs (all of them for the
    // root); without recursion the rest of the name holds no further backslash.
    const std::string prefix = folder.empty() ? std::string() : folder + '\\';
    std::vector<ListingEntry> listed;
    for (const Index::File& file : index.files) {
        if (file.name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (!recursive && file.leafStart != prefix.size())
            continue;
        const std::string_view upperLeaf =
            std::string_view(file.upper)
                .substr(file.upper.size() - (file.name.size() - file.leafStart));
        if (fileMask.MatchesUpper(upperLeaf))
            listed.push_back({file.name, file.age, file.size, file.sha256});
    }
    auto body = std::make_shared<ListingText>();
    body->json = ListingJson(listed);
    if (index.bodyBytes + body->json.size() > kMaxCachedBytes) {
        index.bodies.clear();
        index.bodyBytes = 0;
    }
    index.bodyBytes += body->json.size();
    index.bodies.emplace(std::move(key), body);
    return body;
}

CatalogSnapshot FileCatalog::Snapshot() {
    const FileMask everyName("*.*");
    std::lock_guard lock(lock_);
    Refresh();
    CatalogSnapshot snapshot;
    snapshot.wholeTree = FolderListing(std::string(), everyName, true);
    snapshot.rootFolder = FolderListing(std::string(), everyName, false);
    snapshot.realRoot = root_.RealPath();
    snapshot.files.reserve(index_->files.size());
    for (const Index::File& file : index_->files)
        if (auto path = root_.ResolvedPath(file.name))
            snapshot.files.push_back({file.name, file.upper, std::move(*path)});
    return snapshot;
}

std::optional<ServedFile> FileCatalog::Open(std::string_view name) {
    const auto parts = SplitRequestedName(name);
    if (!parts)
        return std::nullopt;
    // The name as written first: the usual case costs no lock and no walk.
    if (auto file = root_.OpenFile(JoinNameParts(*parts, '/')))
        return file;
    const auto upper = TryUpperCase(JoinNameParts(*parts, '\\'));
    if (!upper)
        return std::nullopt;
    std::string actual;
    {
        std::lock_guard lock(lock_);
        Refresh();
        const auto found = index_->fileByUpper.find(*upper);
        if (found == index_->fileByUpper.end())
            return std::nullopt;
        actual = index_->files[found->second].name;
    }
    return root_.OpenFile(actual);
}

} // namespace corvane
