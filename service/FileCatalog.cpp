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

std::optional<ContentHash> HashContent(const TServiceRoot& root, const std::string& name) {
    const std::optional<TServedFile> file = root.OpenFile(name);
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

struct TFileCatalog::TIndex {
    std::uint64_t Generation = 0;
    struct TFile {
        std::string Name;  // relative, backslashes
        std::string Upper; // Name upper-cased
        std::string Age;   // ISO text
        size_t LeafStart;  // where the name after the last backslash begins
        // The content's size and hash, taken once per content: kept from the previous index
        // while the file's stamp is the same. Empty sha256: the file could not be read.
        ContentStamp stamp;
        std::uint64_t size = 0;
        std::string sha256;
    };
    std::vector<TFile> Files; // sorted by Name
    std::unordered_map<std::string, size_t> FileByUpper;
    std::unordered_set<std::string> Folders; // every folder's name, "" for the root
    std::unordered_map<std::string, std::string> FolderByUpper;
    std::unordered_map<std::string, std::shared_ptr<const ListingText>> Bodies;
    size_t BodyBytes = 0;

    // The folder's name as it is on disk: the name as written when it exists, else the first
    // folder (in name order) equal to it without regard to case.
    std::optional<std::string> FindFolder(const std::string& name) const {
        if (Folders.count(name))
            return name;
        const auto upper = TryUpperCase(name);
        if (!upper)
            return std::nullopt;
        const auto found = FolderByUpper.find(*upper);
        if (found == FolderByUpper.end())
            return std::nullopt;
        return found->second;
    }

    // Gives file, of this index being built, its content's size and hash: those previous
    // holds for it while its stamp is unchanged, else read from the file now (true).
    static bool TakeContentHash(const TIndex* previous, const TServiceRoot& root, TFile& file) {
        // Both indexes hold their files sorted by name.
        if (previous) {
            const auto found = std::lower_bound(
                previous->Files.begin(), previous->Files.end(), file.Name,
                [](const TFile& listed, const std::string& name) { return listed.Name < name; });
            if (found != previous->Files.end() && found->Name == file.Name &&
                found->stamp == file.stamp) {
                file.size = found->size;
                file.sha256 = found->sha256;
                return false;
            }
        }
        if (std::optional<ContentHash> content = HashContent(root, file.Name)) {
            file.size = content->size;
            file.sha256 = std::move(content->sha256);
        }
        return true;
    }
};

TFileCatalog::TFileCatalog(std::string_view root) : FRoot(root) {
    // Every file is read once for its hash before the first listing is asked for, so that no
    // workstation waits for the whole tree to be read.
    std::lock_guard lock(FLock);
    Refresh();
}

void TFileCatalog::Refresh() {
    const std::uint64_t generation = FRoot.Generation();
    if (FIndex && FIndex->Generation == generation)
        return;
    std::vector<TServedEntry> entries = FRoot.Walk();
    ++FWalks;
    auto index = std::make_shared<TIndex>();
    index->Generation = generation;
    index->Folders.insert(std::string());
    index->FolderByUpper.emplace(std::string(), std::string());
    for (TServedEntry& entry : entries) {
        auto upper = TryUpperCase(entry.Name);
        if (!upper)
            continue;
        if (entry.IsFolder) {
            index->FolderByUpper.emplace(std::move(*upper), entry.Name);
            index->Folders.insert(std::move(entry.Name));
            continue;
        }
        const size_t slash = entry.Name.rfind('\\');
        const size_t leaf = slash == std::string::npos ? 0 : slash + 1;
        index->FileByUpper.emplace(*upper, index->Files.size());
        index->Files.push_back({std::move(entry.Name),
                                std::move(*upper),
                                IsoAge(entry.Age),
                                leaf,
                                entry.stamp,
                                0,
                                {}});
        if (TIndex::TakeContentHash(FIndex.get(), FRoot, index->Files.back()))
            ++filesHashed_;
    }
    FIndex = std::move(index);
}

TListingAnswer TFileCatalog::Listing(std::string_view folder, std::string_view mask,
                                     bool recursive) {
    const auto parts = SplitRequestedFolder(folder);
    const TFileMask fileMask(mask);
    std::lock_guard lock(FLock);
    Refresh();
    TIndex& index = *FIndex;
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
TFileCatalog::FolderListing(const std::string& folder, const TFileMask& fileMask, bool recursive) {
    TIndex& index = *FIndex;
    std::string key = folder;
    key += '\0';
    key += fileMask.Key();
    key += '\0';
    key += recursive ? 'R' : 'F';
    if (const auto cached = index.Bodies.find(key); cached != index.Bodies.end())
        return cached->second;

    // Files beneath the folder: its name and a backslash start theirs (all of them for the
    // root); without recursion the rest of the name holds no further backslash.
    const std::string prefix = folder.empty() ? std::string() : folder + '\\';
    std::vector<TListingEntry> listed;
    for (const TIndex::TFile& file : index.Files) {
        if (file.Name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (!recursive && file.LeafStart != prefix.size())
            continue;
        const std::string_view upperLeaf =
            std::string_view(file.Upper)
                .substr(file.Upper.size() - (file.Name.size() - file.LeafStart));
        if (fileMask.MatchesUpper(upperLeaf))
            listed.push_back({file.Name, file.Age, file.size, file.sha256});
    }
    auto body = std::make_shared<ListingText>();
    body->json = ListingJson(listed);
    if (index.BodyBytes + body->json.size() > kMaxCachedBytes) {
        index.Bodies.clear();
        index.BodyBytes = 0;
    }
    index.BodyBytes += body->json.size();
    index.Bodies.emplace(std::move(key), body);
    return body;
}

CatalogSnapshot TFileCatalog::Snapshot() {
    const TFileMask everyName("*.*");
    std::lock_guard lock(FLock);
    Refresh();
    CatalogSnapshot snapshot;
    snapshot.wholeTree = FolderListing(std::string(), everyName, true);
    snapshot.rootFolder = FolderListing(std::string(), everyName, false);
    snapshot.realRoot = FRoot.RealPath();
    snapshot.files.reserve(FIndex->Files.size());
    for (const TIndex::TFile& file : FIndex->Files)
        if (auto path = FRoot.ResolvedPath(file.Name))
            snapshot.files.push_back({file.Name, file.Upper, std::move(*path)});
    return snapshot;
}

std::optional<TServedFile> TFileCatalog::Open(std::string_view name) {
    const auto parts = SplitRequestedName(name);
    if (!parts)
        return std::nullopt;
    // The name as written first: the usual case costs no lock and no walk.
    if (auto file = FRoot.OpenFile(JoinNameParts(*parts, '/')))
        return file;
    const auto upper = TryUpperCase(JoinNameParts(*parts, '\\'));
    if (!upper)
        return std::nullopt;
    std::string actual;
    {
        std::lock_guard lock(FLock);
        Refresh();
        const auto found = FIndex->FileByUpper.find(*upper);
        if (found == FIndex->FileByUpper.end())
            return std::nullopt;
        actual = FIndex->Files[found->second].Name;
    }
    return FRoot.OpenFile(actual);
}

} // namespace corvane
