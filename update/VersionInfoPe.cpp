// The fixed version block of a PE file: headers, section table, resource directory
// RT_VERSION -> VS_VERSION_INFO -> first language, VS_VERSIONINFO, VS_FIXEDFILEINFO.
#include "update/VersionInfoReader.h"

#include <vector>

namespace corvane::versioninfo {

namespace {

constexpr uint16_t kDosSignature = 0x5A4D;    // "MZ"
constexpr uint32_t kPESignature = 0x00004550; // "PE\0\0"
constexpr uint16_t kPE32Magic = 0x10B;
constexpr uint16_t kPE32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr size_t kMaxSections = 1024; // the loader takes far fewer
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfo = 1;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO" and its NUL in
// UTF-16, padding to 32 bits, then the value.
constexpr size_t kVersionKeyOffset = 6;
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";
constexpr size_t kVersionKeyBytes = sizeof kVersionKey; // with the NUL: 32
constexpr size_t kFixedInfoOffset = 40;
constexpr size_t kFixedInfoSize = 52;
constexpr size_t kVersionHeadSize = kFixedInfoOffset + kFixedInfoSize;

struct Section {
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class PeReader {
public:
    explicit PeReader(BoundedReader& reader) : r_(reader) {}

    std::optional<FileVersionLocation> Locate() {
        uint32_t resourceRva = 0;
        if (!ReadHeaders(resourceRva))
            return std::nullopt;
        // RT_VERSION and VS_VERSION_INFO must be directories, the language entry a leaf: the
        // walk has a fixed depth, so directories that point back cannot make it loop.
        uint32_t entry = 0;
        if (!FindEntry(resourceRva, 0, kRtVersion, entry) || !(entry & kSubdirectoryFlag))
            return std::nullopt;
        if (!FindEntry(resourceRva, entry & ~kSubdirectoryFlag, kVsVersionInfo, entry) ||
            !(entry & kSubdirectoryFlag))
            return std::nullopt;
        if (!FirstEntry(resourceRva, entry & ~kSubdirectoryFlag, entry) ||
            (entry & kSubdirectoryFlag))
            return std::nullopt;
        return ReadVersionData(uint64_t{resourceRva} + entry);
    }

private:
    bool ReadHeaders(uint32_t& resourceRva) {
        uint16_t dosSignature = 0;
        uint32_t peOffset = 0;
        uint32_t peSignature = 0;
        if (!r_.U16(0, dosSignature) || dosSignature != kDosSignature || !r_.U32(0x3C, peOffset) ||
            !r_.U32(peOffset, peSignature) || peSignature != kPESignature)
            return false;
        const uint64_t fileHeader = uint64_t{peOffset} + 4;
        uint16_t sectionCount = 0;
        uint16_t optionalSize = 0;
        uint16_t magic = 0;
        const uint64_t optionalHeader = fileHeader + 20;
        if (!r_.U16(fileHeader + 2, sectionCount) || !r_.U16(fileHeader + 16, optionalSize) ||
            !r_.U16(optionalHeader, magic))
            return false;
        uint64_t countOffset = 0;
        if (magic == kPE32Magic)
            countOffset = 92;
        else if (magic == kPE32PlusMagic)
            countOffset = 108;
        else
            return false;
        const uint64_t directoriesOffset = countOffset + 4;
        const uint64_t resourceEntry = directoriesOffset + 8 * kResourceDirectoryIndex;
        uint32_t directoryCount = 0;
        // The resource entry must be inside the optional header as its size states it.
        if (resourceEntry + 8 > optionalSize ||
            !r_.U32(optionalHeader + countOffset, directoryCount) ||
            directoryCount <= kResourceDirectoryIndex ||
            !r_.U32(optionalHeader + resourceEntry, resourceRva) || resourceRva == 0)
            return false;
        if (sectionCount == 0 || sectionCount > kMaxSections)
            return false;
        const uint64_t sectionTable = optionalHeader + optionalSize;
        sections_.reserve(sectionCount);
        for (uint64_t i = 0; i < sectionCount; ++i) {
            std::array<std::byte, 40> header;
            if (!r_.Read(sectionTable + 40 * i, header))
                return false;
            sections_.push_back(Section{r_.Get<uint32_t>(header, 12), r_.Get<uint32_t>(header, 16),
                                        r_.Get<uint32_t>(header, 20)});
        }
        return true;
    }

    // The file offset of length bytes at rva, which must lie in one section's raw data.
    bool RvaToOffset(uint64_t rva, uint64_t length, uint64_t& offset) const {
        for (const Section& s : sections_) {
            if (rva < s.virtualAddress)
                continue;
            const uint64_t inSection = rva - s.virtualAddress;
            if (inSection < s.rawSize && length <= s.rawSize - inSection) {
                offset = uint64_t{s.rawOffset} + inSection;
                return true;
            }
        }
        return false;
    }

    bool ReadRva(uint64_t rva, std::span<std::byte> into) {
        uint64_t offset = 0;
        return RvaToOffset(rva, into.size(), offset) && r_.Read(offset, into);
    }

    bool EntryCounts(uint64_t directoryRva, uint32_t& named, uint32_t& ids) {
        std::array<std::byte, 16> header;
        if (!ReadRva(directoryRva, header))
            return false;
        named = r_.Get<uint16_t>(header, 12);
        ids = r_.Get<uint16_t>(header, 14);
        return true;
    }

    bool Entry(uint64_t directoryRva, uint32_t index, uint32_t& name, uint32_t& data) {
        std::array<std::byte, 8> entry;
        if (!ReadRva(directoryRva + 16 + 8 * uint64_t{index}, entry))
            return false;
        name = r_.Get<uint32_t>(entry, 0);
        data = r_.Get<uint32_t>(entry, 4);
        return true;
    }

    // The data field of the entry with the given ID in the directory at the given offset
    // from the start of the resources. IDs follow the named entries.
    bool FindEntry(uint32_t resourceRva, uint32_t directory, uint32_t id, uint32_t& data) {
        const uint64_t directoryRva = uint64_t{resourceRva} + directory;
        uint32_t named = 0;
        uint32_t ids = 0;
        if (!EntryCounts(directoryRva, named, ids))
            return false;
        for (uint32_t i = named; i < named + ids; ++i) {
            uint32_t name = 0;
            if (!Entry(directoryRva, i, name, data))
                return false; // out of reads or out of bounds
            if (name == id)
                return true;
        }
        return false;
    }

    bool FirstEntry(uint32_t resourceRva, uint32_t directory, uint32_t& data) {
        const uint64_t directoryRva = uint64_t{resourceRva} + directory;
        uint32_t named = 0;
        uint32_t ids = 0;
        uint32_t name = 0;
        return EntryCounts(directoryRva, named, ids) && named + ids > 0 &&
               Entry(directoryRva, 0, name, data);
    }

    std::optional<FileVersionLocation> ReadVersionData(uint64_t dataEntryRva) {
        std::array<std::byte, 16> dataEntry;
        if (!ReadRva(dataEntryRva, dataEntry))
            return std::nullopt;
        const uint32_t dataRva = r_.Get<uint32_t>(dataEntry, 0);
        const uint32_t dataSize = r_.Get<uint32_t>(dataEntry, 4);
        // The whole block the entry claims must be in the file, however large the claim.
        uint64_t offset = 0;
        if (dataSize < kVersionHeadSize || !RvaToOffset(dataRva, dataSize, offset) ||
            offset > r_.Size() || dataSize > r_.Size() - offset)
            return std::nullopt;
        std::array<std::byte, kVersionHeadSize> head;
        if (!r_.Read(offset, head))
            return std::nullopt;
        const uint16_t length = r_.Get<uint16_t>(head, 0);
        const uint16_t valueLength = r_.Get<uint16_t>(head, 2);
        if (length < kVersionHeadSize || length > dataSize || valueLength < kFixedInfoSize ||
            kFixedInfoOffset + valueLength > length)
            return std::nullopt;
        for (size_t i = 0; i < kVersionKeyBytes / 2; ++i)
            if (r_.Get<uint16_t>(head, kVersionKeyOffset + 2 * i) != kVersionKey[i])
                return std::nullopt;
        if (r_.Get<uint32_t>(head, kFixedInfoOffset) != kFixedFileInfoSignature)
            return std::nullopt;
        const uint32_t ms = r_.Get<uint32_t>(head, kFixedInfoOffset + 8);
        const uint32_t ls = r_.Get<uint32_t>(head, kFixedInfoOffset + 12);
        FileVersionLocation location;
        location.version =
            FileVersion{static_cast<uint16_t>(ms >> 16), static_cast<uint16_t>(ms & 0xFFFF),
                        static_cast<uint16_t>(ls >> 16), static_cast<uint16_t>(ls & 0xFFFF)};
        location.offset = offset + kFixedInfoOffset + 8;
        location.encoding = VersionEncoding::PEFixedFileInfo;
        return location;
    }

    BoundedReader& r_;
    std::vector<Section> sections_;
};

} // namespace

std::optional<FileVersionLocation> LocatePEVersion(BoundedReader& reader) {
    reader.SetOrder(std::endian::little);
    return PeReader(reader).Locate();
}

} // namespace corvane::versioninfo
