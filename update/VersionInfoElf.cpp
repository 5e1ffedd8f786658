// The version note of our Linux builds, looked for in the PT_NOTE segments and then in the
// SHT_NOTE sections of an ELF32 or ELF64 file of either byte order.
#include "update/VersionInfoReader.h"

#include <cstring>

namespace corvane::versioninfo {

namespace {

constexpr uint32_t PT_NOTE = 4;
constexpr uint32_t SHT_NOTE = 7;
constexpr uint32_t OwnerSize = sizeof CorvaneNoteOwner; // with the NUL: 8
constexpr uint32_t DescSize = 16;
constexpr uint32_t NoteHeaderSize = 12;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

// Where the tables of an ELF file lie and how their fields are laid out.
struct TElfLayout {
    bool Is64 = false;
    uint64_t ProgramHeaders = 0;
    uint64_t ProgramHeaderSize = 0;
    uint64_t ProgramHeaderCount = 0;
    uint64_t SectionHeaders = 0;
    uint64_t SectionHeaderSize = 0;
    uint64_t SectionHeaderCount = 0;
};

class TElfReader {
public:
    explicit TElfReader(TBoundedReader& reader) : R(reader) {}

    std::optional<TFileVersionLocation> Locate() {
        if (!ReadHeader())
            return std::nullopt;
        bool damaged = false;
        std::optional<TFileVersionLocation> found = FromProgramHeaders(damaged);
        if (!found && !damaged)
            found = FromSectionHeaders(damaged);
        return damaged ? std::nullopt : found;
    }

private:
    bool ReadHeader() {
        std::array<std::byte, 64> header{};
        if (!R.Read(0, std::span(header).first(52))) // ELF32 header size
            return false;
        static constexpr unsigned char Magic[] = {0x7F, 'E', 'L', 'F'};
        if (std::memcmp(header.data(), Magic, sizeof Magic) != 0)
            return false;
        const auto elfClass = std::to_integer<uint8_t>(header[4]);
        const auto data = std::to_integer<uint8_t>(header[5]);
        if (data == 1)
            R.SetOrder(std::endian::little);
        else if (data == 2)
            R.SetOrder(std::endian::big);
        else
            return false;
        if (elfClass == 1) {
            L.ProgramHeaders = R.Get<uint32_t>(header, 28);
            L.SectionHeaders = R.Get<uint32_t>(header, 32);
            L.ProgramHeaderSize = R.Get<uint16_t>(header, 42);
            L.ProgramHeaderCount = R.Get<uint16_t>(header, 44);
            L.SectionHeaderSize = R.Get<uint16_t>(header, 46);
            L.SectionHeaderCount = R.Get<uint16_t>(header, 48);
            return true;
        }
        if (elfClass != 2 || !R.Read(0, header))
            return false;
        L.Is64 = true;
        L.ProgramHeaders = R.Get<uint64_t>(header, 32);
        L.SectionHeaders = R.Get<uint64_t>(header, 40);
        L.ProgramHeaderSize = R.Get<uint16_t>(header, 54);
        L.ProgramHeaderCount = R.Get<uint16_t>(header, 56);
        L.SectionHeaderSize = R.Get<uint16_t>(header, 58);
        L.SectionHeaderCount = R.Get<uint16_t>(header, 60);
        return true;
    }

    // One table entry at base + index * size; false when it lies outside the file.
    bool TableEntry(uint64_t base, uint64_t size, uint64_t index, std::span<std::byte> into) {
        uint64_t offset = 0;
        if (size < into.size() || index > UINT64_MAX / size ||
            !CheckedAdd(base, index * size, offset))
            return false;
        return R.Read(offset, into);
    }

    std::optional<TFileVersionLocation> FromProgramHeaders(bool& damaged) {
        const size_t entrySize = L.Is64 ? 56 : 32;
        for (uint64_t i = 0; i < L.ProgramHeaderCount; ++i) {
            std::array<std::byte, 56> ph{};
            const auto entry = std::span(ph).first(entrySize);
            if (!TableEntry(L.ProgramHeaders, L.ProgramHeaderSize, i, entry)) {
                damaged = true;
                return std::nullopt;
            }
            if (R.Get<uint32_t>(ph, 0) != PT_NOTE)
                continue;
            const uint64_t offset = L.Is64 ? R.Get<uint64_t>(ph, 8) : R.Get<uint32_t>(ph, 4);
            const uint64_t size = L.Is64 ? R.Get<uint64_t>(ph, 32) : R.Get<uint32_t>(ph, 16);
            const uint64_t align = L.Is64 ? R.Get<uint64_t>(ph, 48) : R.Get<uint32_t>(ph, 28);
            if (auto found = FromNotes(offset, size, align, damaged); found || damaged)
                return found;
        }
        return std::nullopt;
    }

    std::optional<TFileVersionLocation> FromSectionHeaders(bool& damaged) {
        const size_t entrySize = L.Is64 ? 64 : 40;
        for (uint64_t i = 0; i < L.SectionHeaderCount; ++i) {
            std::array<std::byte, 64> sh{};
            const auto entry = std::span(sh).first(entrySize);
            if (!TableEntry(L.SectionHeaders, L.SectionHeaderSize, i, entry)) {
                damaged = true;
                return std::nullopt;
            }
            if (R.Get<uint32_t>(sh, 4) != SHT_NOTE)
                continue;
            const uint64_t offset = L.Is64 ? R.Get<uint64_t>(sh, 24) : R.Get<uint32_t>(sh, 16);
            const uint64_t size = L.Is64 ? R.Get<uint64_t>(sh, 32) : R.Get<uint32_t>(sh, 20);
            const uint64_t align = L.Is64 ? R.Get<uint64_t>(sh, 48) : R.Get<uint32_t>(sh, 32);
            if (auto found = FromNotes(offset, size, align, damaged); found || damaged)
                return found;
        }
        return std::nullopt;
    }

    // Walks the notes of one segment or section. A region that does not fit in the file, or
    // a note that overruns its region, marks the file as damaged.
    std::optional<TFileVersionLocation> FromNotes(uint64_t offset, uint64_t size, uint64_t align,
                                                  bool& damaged) {
        uint64_t end = 0;
        if (!CheckedAdd(offset, size, end) || end > R.Size()) {
            damaged = true;
            return std::nullopt;
        }
        // Notes are padded to 4 bytes, or to 8 in segments aligned so (as GNU properties are).
        const uint64_t padding = align == 8 ? 8 : 4;
        uint64_t at = offset;
        while (end - at >= NoteHeaderSize) {
            std::array<std::byte, NoteHeaderSize> header;
            if (!R.Read(at, header)) {
                damaged = true;
                return std::nullopt;
            }
            const uint64_t nameSize = R.Get<uint32_t>(header, 0);
            const uint64_t descSize = R.Get<uint32_t>(header, 4);
            const uint32_t type = R.Get<uint32_t>(header, 8);
            const uint64_t descAt = at + AlignUp(NoteHeaderSize + nameSize, padding);
            const uint64_t next = descAt + AlignUp(descSize, padding);
            // The sizes are 32-bit and at is inside the file, so these sums cannot overflow.
            if (descAt > end || descSize > end - descAt) {
                damaged = true;
                return std::nullopt;
            }
            if (nameSize == OwnerSize && type == NT_CORVANE_VERSION && IsOurOwner(at)) {
                if (descSize != DescSize) {
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
        std::array<std::byte, OwnerSize> name;
        return R.Read(note + NoteHeaderSize, name) &&
               std::memcmp(name.data(), CorvaneNoteOwner, OwnerSize) == 0;
    }

    std::optional<TFileVersionLocation> ReadVersion(uint64_t descAt, bool& damaged) {
        std::array<std::byte, DescSize> desc;
        if (!R.Read(descAt, desc)) {
            damaged = true;
            return std::nullopt;
        }
        uint16_t parts[4];
        for (size_t i = 0; i < 4; ++i) {
            const uint32_t part = R.Get<uint32_t>(desc, 4 * i);
            if (part > 0xFFFF) {
                damaged = true;
                return std::nullopt;
            }
            parts[i] = static_cast<uint16_t>(part);
        }
        TFileVersionLocation location;
        location.Version = TFileVersion{parts[0], parts[1], parts[2], parts[3]};
        location.Offset = descAt;
        location.Encoding = R.Order() == std::endian::little ? TVersionEncoding::ElfNoteLittle
                                                             : TVersionEncoding::ElfNoteBig;
        return location;
    }

    TBoundedReader& R;
    TElfLayout L;
};

} // namespace

std::optional<TFileVersionLocation> LocateElfVersion(TBoundedReader& reader) {
    return TElfReader(reader).Locate();
}

} // namespace corvane::versioninfo
