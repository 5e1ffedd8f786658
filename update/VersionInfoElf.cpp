// The version note of our Linux builds, looked for in the PT_NOTE segments and then in the
// SHT_NOTE sections of an ELF32 or ELF64 file of either byte order.
#include "update/VersionInfoReader.h"

#include <cstring>

namespace corvane::versioninfo {

namespace {

constexpr uint32_t kPtNote = 4;
constexpr uint32_t kShtNote = 7;
constexpr uint32_t kOwnerSize = sizeof kCorvaneNoteOwner; // with the NUL: 8
constexpr uint32_t kDescSize = 16;
constexpr uint32_t kNoteHeaderSize = 12;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

// Where the tables of an ELF file lie and how their fields are laid out.
struct ElfLayout {
    bool is64 = false;
    uint64_t programHeaders = 0;
    uint64_t programHeaderSize = 0;
    uint64_t programHeaderCount = 0;
    uint64_t sectionHeaders = 0;
    uint64_t sectionHeaderSize = 0;
    uint64_t sectionHeaderCount = 0;
};

class ElfReader {
public:
    explicit ElfReader(BoundedReader& reader) : r_(reader) {}

    std::optional<FileVersionLocation> Locate() {
        if (!ReadHeader())
            return std::nullopt;
        bool damaged = false;
        std::optional<FileVersionLocation> found = FromProgramHeaders(damaged);
        if (!found && !damaged)
            found = FromSectionHeaders(damaged);
        return damaged ? std::nullopt : found;
    }

private:
    bool ReadHeader() {
        std::array<std::byte, 64> header{};
        if (!r_.Read(0, std::span(header).first(52))) // ELF32 header size
            return false;
        static constexpr unsigned char kMagic[] = {0x7F, 'E', 'L', 'F'};
        if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0)
            return false;
        const auto elfClass = std::to_integer<uint8_t>(header[4]);
        const auto data = std::to_integer<uint8_t>(header[5]);
        if (data == 1)
            r_.SetOrder(std::endian::little);
        else if (data == 2)
            r_.SetOrder(std::endian::big);
        else
            return false;
        if (elfClass == 1) {
            l_.programHeaders = r_.Get<uint32_t>(header, 28);
            l_.sectionHeaders = r_.Get<uint32_t>(header, 32);
            l_.programHeaderSize = r_.Get<uint16_t>(header, 42);
            l_.programHeaderCount = r_.Get<uint16_t>(header, 44);
            l_.sectionHeaderSize = r_.Get<uint16_t>(header, 46);
            l_.sectionHeaderCount = r_.Get<uint16_t>(header, 48);
            return true;
        }
        if (elfClass != 2 || !r_.Read(0, header))
            return false;
        l_.is64 = true;
        l_.programHeaders = r_.Get<uint64_t>(header, 32);
        l_.sectionHeaders = r_.Get<uint64_t>(header, 40);
        l_.programHeaderSize = r_.Get<uint16_t>(header, 54);
        l_.programHeaderCount = r_.Get<uint16_t>(header, 56);
        l_.sectionHeaderSize = r_.Get<uint16_t>(header, 58);
        l_.sectionHeaderCount = r_.Get<uint16_t>(header, 60);
        return true;
    }

    // One table entry at base + index * size; false when it lies outside the file.
    bool TableEntry(uint64_t base, uint64_t size, uint64_t index, std::span<std::byte> into) {
        uint64_t offset = 0;
        if (size < into.size() || index > UINT64_MAX / size ||
            !CheckedAdd(base, index * size, offset))
            return false;
        return r_.Read(offset, into);
    }

    std::optional<FileVersionLocation> FromProgramHeaders(bool& damaged) {
        const size_t entrySize = l_.is64 ? 56 : 32;
        for (uint64_t i = 0; i < l_.programHeaderCount; ++i) {
            std::array<std::byte, 56> ph{};
            const auto entry = std::span(ph).first(entrySize);
            if (!TableEntry(l_.programHeaders, l_.programHeaderSize, i, entry)) {
                damaged = true;
                return std::nullopt;
            }
            if (r_.Get<uint32_t>(ph, 0) != kPtNote)
                continue;
            const uint64_t offset = l_.is64 ? r_.Get<uint64_t>(ph, 8) : r_.Get<uint32_t>(ph, 4);
            const uint64_t size = l_.is64 ? r_.Get<uint64_t>(ph, 32) : r_.Get<uint32_t>(ph, 16);
            const uint64_t align = l_.is64 ? r_.Get<uint64_t>(ph, 48) : r_.Get<uint32_t>(ph, 28);
            if (auto found = FromNotes(offset, size, align, damaged); found || damaged)
                return found;
        }
        return std::nullopt;
    }

    std::optional<FileVersionLocation> FromSectionHeaders(bool& damaged) {
        const size_t entrySize = l_.is64 ? 64 : 40;
        for (uint64_t i = 0; i < l_.sectionHeaderCount; ++i) {
            std::array<std::byte, 64> sh{};
            const auto entry = std::span(sh).first(entrySize);
            if (!TableEntry(l_.sectionHeaders, l_.sectionHeaderSize, i, entry)) {
                damaged = true;
                return std::nullopt;
            }
            if (r_.Get<uint32_t>(sh, 4) != kShtNote)
                continue;
            const uint64_t offset = l_.is64 ? r_.Get<uint64_t>(sh, 24) : r_.Get<uint32_t>(sh, 16);
            const uint64_t size = l_.is64 ? r_.Get<uint64_t>(sh, 32) : r_.Get<uint32_t>(sh, 20);
            const uint64_t align = l_.is64 ? r_.Get<uint64_t>(sh, 48) : r_.Get<uint32_t>(sh, 32);
            if (auto found = FromNotes(offset, size, align, damaged); found || damaged)
                return found;
        }
        return std::nullopt;
    }

    // Walks the notes of one segment or section. A region that does not fit in the file, or
    // a note that overruns its region, marks the file as damaged.
    std::optional<FileVersionLocation> FromNotes(uint64_t offset, uint64_t size, uint64_t align,
                                                 bool& damaged) {
        uint64_t end = 0;
        if (!CheckedAdd(offset, size, end) || end > r_.Size()) {
            damaged = true;
            return std::nullopt;
        }
        // Notes are padded to 4 bytes, or to 8 in segments aligned so (as GNU properties are).
        const uint64_t padding = align == 8 ? 8 : 4;
        uint64_t at = offset;
        while (end - at >= kNoteHeaderSize) {
            std::array<std::byte, kNoteHeaderSize> header;
            if (!r_.Read(at, header)) {
                damaged = true;
                return std::nullopt;
            }
            const uint64_t nameSize = r_.Get<uint32_t>(header, 0);
            const uint64_t descSize = r_.Get<uint32_t>(header, 4);
            const uint32_t type = r_.Get<uint32_t>(header, 8);
            const uint64_t descAt = at + AlignUp(kNoteHeaderSize + nameSize, padding);
            const uint64_t next = descAt + AlignUp(descSize, padding);
            // The sizes are 32-bit and at is inside the file, so these sums cannot overflow.
            if (descAt > end || descSize > end - descAt) {
                damaged = true;
                return std::nullopt;
            }
            if (nameSize == kOwnerSize && type == kNtCorvaneVersion && IsOurOwner(at)) {
                if (descSize != kDescSize) {
                    damaged = true;
                    return std::nullopt;
                }
                return ReadVersion(descAt, damaged);
            }
            if (next >= end)
                break;
            at = next;
        }
        return std::nullopt;
    }

    bool IsOurOwner(uint64_t note) {
        std::array<std::byte, kOwnerSize> name;
        return r_.Read(note + kNoteHeaderSize, name) &&
               std::memcmp(name.data(), kCorvaneNoteOwner, kOwnerSize) == 0;
    }

    std::optional<FileVersionLocation> ReadVersion(uint64_t descAt, bool& damaged) {
        std::array<std::byte, kDescSize> desc;
        if (!r_.Read(descAt, desc)) {
            damaged = true;
            return std::nullopt;
        }
        uint16_t parts[4];
        for (size_t i = 0; i < 4; ++i) {
            const uint32_t part = r_.Get<uint32_t>(desc, 4 * i);
            if (part > 0xFFFF) {
                damaged = true;
                return std::nullopt;
            }
            parts[i] = static_cast<uint16_t>(part);
        }
        FileVersionLocation location;
        location.version = FileVersion{parts[0], parts[1], parts[2], parts[3]};
        location.offset = descAt;
        location.encoding = r_.Order() == std::endian::little ? VersionEncoding::ElfNoteLittle
                                                              : VersionEncoding::ElfNoteBig;
        return location;
    }

    BoundedReader& r_;
    ElfLayout l_;
};

} // namespace

std::optional<FileVersionLocation> LocateElfVersion(BoundedReader& reader) {
    return ElfReader(reader).Locate();
}

} // namespace corvane::versioninfo
