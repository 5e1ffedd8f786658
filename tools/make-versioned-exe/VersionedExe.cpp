#include "tools/make-versioned-exe/VersionedExe.h"

#include <charconv>
#include <string>

namespace corvane::testexe {

namespace {

// A growing byte image with numbers written in one byte order.
class TImage {
public:
    explicit TImage(bool bigEndian = false) : FBig(bigEndian) {}

    void Put(size_t at, uint64_t value, size_t width) {
        Reserve(at + width);
        for (size_t i = 0; i < width; ++i) {
            const size_t shift = 8 * (FBig ? width - 1 - i : i);
            FBytes[at + i] = static_cast<std::byte>((value >> shift) & 0xFF);
        }
    }
    void U8(size_t at, uint64_t value) { Put(at, value, 1); }
    void U16(size_t at, uint64_t value) { Put(at, value, 2); }
    void U32(size_t at, uint64_t value) { Put(at, value, 4); }
    void U64(size_t at, uint64_t value) { Put(at, value, 8); }
    void Text(size_t at, std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i)
            U8(at + i, static_cast<unsigned char>(text[i]));
    }
    void Utf16(size_t at, std::u16string_view text) {
        for (size_t i = 0; i < text.size(); ++i)
            U16(at + 2 * i, text[i]);
    }
    void Reserve(size_t size) {
        // Not resize(): GCC 12 at -O3 falsely warns (-Warray-bounds) on its inlined memset.
        if (FBytes.size() < size)
            FBytes.insert(FBytes.end(), size - FBytes.size(), std::byte{0});
    }
    std::vector<std::byte> Take() { return std::move(FBytes); }

private:
    bool FBig;
    std::vector<std::byte> FBytes;
};

size_t AlignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

uint32_t High(const TFileVersion& v) {
    return uint32_t{v.Major} << 16 | v.Minor;
}
uint32_t Low(const TFileVersion& v) {
    return uint32_t{v.Release} << 16 | v.Build;
}

// ---- PE --------------------------------------------------------------------------------

constexpr uint32_t SectionAlignment = 0x1000;
constexpr uint32_t FileAlignment = 0x200;
constexpr uint32_t ResourceRva = 0x1000;
constexpr uint32_t SubdirectoryFlag = 0x80000000;
constexpr uint32_t NameFlag = 0x80000000;

// A resource tree: directories hold named entries first, then numbered ones; an entry leads
// to another directory or to one payload.
struct TResEntry {
    std::u16string Name; // empty for a numbered entry
    uint32_t Id = 0;
    int Directory = -1;
    int Payload = -1;
};

struct TResTree {
    std::vector<std::vector<TResEntry>> Directories;
    std::vector<std::vector<std::byte>> Payloads;

    int AddDirectory() {
        Directories.emplace_back();
        return static_cast<int>(Directories.size() - 1);
    }
    int AddPayload(std::vector<std::byte> bytes) {
        Payloads.push_back(std::move(bytes));
        return static_cast<int>(Payloads.size() - 1);
    }
};

// Offsets inside the resource section, in the order of the layout: directories, names,
// data entries, payloads.
struct TResOffsets {
    std::vector<size_t> Directories;
    std::vector<size_t> Names; // per directory, per entry (0 for numbered)
    std::vector<size_t> DataEntries;
    std::vector<size_t> Payloads;
    size_t Size = 0;
};

TResOffsets PlanResources(const TResTree& tree, std::vector<std::vector<size_t>>& names) {
    TResOffsets o;
    size_t at = 0;
    for (const auto& d : tree.Directories) {
        o.Directories.push_back(at);
        at += 16 + 8 * d.size();
    }
    names.assign(tree.Directories.size(), {});
    for (size_t i = 0; i < tree.Directories.size(); ++i)
        for (const TResEntry& e : tree.Directories[i]) {
            names[i].push_back(e.Name.empty() ? 0 : at);
            if (!e.Name.empty())
                at += 2 + 2 * e.Name.size();
        }
    at = AlignUp(at, 4);
    for (size_t i = 0; i < tree.Payloads.size(); ++i) {
        o.DataEntries.push_back(at);
        at += 16;
    }
    for (const auto& p : tree.Payloads) {
        o.Payloads.push_back(at);
        at = AlignUp(at + p.size(), 4);
    }
    o.Size = at;
    return o;
}

void WriteResources(TImage& image, size_t base, const TResTree& tree, const TResOffsets& o,
                    const std::vector<std::vector<size_t>>& names) {
    for (size_t i = 0; i < tree.Directories.size(); ++i) {
        const auto& entries = tree.Directories[i];
        const size_t dir = base + o.Directories[i];
        uint32_t named = 0;
        for (const TResEntry& e : entries)
            named += e.Name.empty() ? 0 : 1;
        image.U32(dir + 0, 0); // characteristics
        image.U32(dir + 4, 0); // time stamp
        image.U16(dir + 12, named);
        image.U16(dir + 14, entries.size() - named);
        for (size_t k = 0; k < entries.size(); ++k) {
            const TResEntry& e = entries[k];
            const size_t at = dir + 16 + 8 * k;
            if (e.Name.empty()) {
                image.U32(at, e.Id);
            } else {
                image.U32(at, NameFlag | names[i][k]);
                image.U16(base + names[i][k], e.Name.size());
                image.Utf16(base + names[i][k] + 2, e.Name);
            }
            if (e.Directory >= 0)
                image.U32(at + 4, SubdirectoryFlag | o.Directories[e.Directory]);
            else
                image.U32(at + 4, o.DataEntries[e.Payload]);
        }
    }
    for (size_t p = 0; p < tree.Payloads.size(); ++p) {
        const size_t entry = base + o.DataEntries[p];
        image.U32(entry + 0, ResourceRva + o.Payloads[p]);
        image.U32(entry + 4, tree.Payloads[p].size());
        image.U32(entry + 8, 1252); // code page
        for (size_t i = 0; i < tree.Payloads[p].size(); ++i)
            image.U8(base + o.Payloads[p] + i, std::to_integer<uint8_t>(tree.Payloads[p][i]));
    }
}

std::vector<std::byte> VersionBlock(const TFileVersion& file, const TFileVersion& product) {
    TImage b;
    b.U16(0, 92);                   // wLength: just the fixed block
    b.U16(2, 52);                   // wValueLength: sizeof(VS_FIXEDFILEINFO)
    b.U16(4, 0);                    // wType: binary
    b.Utf16(6, u"VS_VERSION_INFO"); // and its NUL at 36, padding at 38
    b.U32(40, 0xFEEF04BD);          // dwSignature
    b.U32(44, 0x00010000);          // dwStrucVersion
    b.U32(48, High(file));          // dwFileVersionMS
    b.U32(52, Low(file));           // dwFileVersionLS
    b.U32(56, High(product));       // dwProductVersionMS
    b.U32(60, Low(product));        // dwProductVersionLS
    b.U32(64, 0x3F);                // dwFileFlagsMask
    b.U32(68, 0);                   // dwFileFlags
    b.U32(72, 0x00040004);          // dwFileOS: VOS_NT_WINDOWS32
    b.U32(76, 1);                   // dwFileType: VFT_APP
    b.U32(80, 0);                   // dwFileSubtype
    b.U32(84, 0);                   // dwFileDateMS
    b.U32(88, 0);                   // dwFileDateLS
    return b.Take();
}

std::vector<std::byte> Filler(size_t size, uint8_t seed) {
    std::vector<std::byte> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::byte>(seed + i);
    return bytes;
}

// ---- ELF -------------------------------------------------------------------------------

constexpr uint64_t ElfBase = 0x400000;

} // namespace

TGeneratedPE MakePE(const TFileVersion& version, const TPEOptions& options) {
    const bool plus = options.Kind == TPEKind::PE32Plus;
    TGeneratedPE result;
    TPELayout& L = result.Layout;

    // The resource tree: [named "CORVANE"], [RT_ICON 3], RT_VERSION 16 -> 1 -> pt-BR.
    TResTree tree;
    const int root = tree.AddDirectory();
    int versionType = -1;
    int versionName = -1;
    int versionPayload = -1;
    if (options.OtherResources) {
        const int customType = tree.AddDirectory();
        const int customName = tree.AddDirectory();
        tree.Directories[root].push_back({u"CORVANE", 0, customType, -1});
        tree.Directories[customType].push_back({{}, 1, customName, -1});
        tree.Directories[customName].push_back({{}, 0x0416, -1, tree.AddPayload(Filler(24, 7))});
        const int iconType = tree.AddDirectory();
        const int iconName = tree.AddDirectory();
        tree.Directories[root].push_back({{}, 3, iconType, -1});
        tree.Directories[iconType].push_back({{}, 1, iconName, -1});
        tree.Directories[iconName].push_back({{}, 0x0416, -1, tree.AddPayload(Filler(40, 99))});
    }
    versionType = tree.AddDirectory();
    versionName = tree.AddDirectory();
    versionPayload =
        tree.AddPayload(VersionBlock(version, options.ProductVersion.value_or(version)));
    const size_t rootVersionIndex = tree.Directories[root].size();
    tree.Directories[root].push_back({{}, 16, versionType, -1});
    tree.Directories[versionType].push_back({{}, 1, versionName, -1});
    tree.Directories[versionName].push_back({{}, 0x0416, -1, versionPayload});

    std::vector<std::vector<size_t>> names;
    const TResOffsets res = PlanResources(tree, names);

    TImage image;
    // DOS header: "MZ" and the offset of the PE header.
    image.Text(0, "MZ");
    image.U32(0x3C, 0x40);
    L.PEHeader = 0x40;
    image.Text(L.PEHeader, std::string_view("PE\0\0", 4));
    const size_t fileHeader = L.PEHeader + 4;
    const size_t optionalSize = plus ? 240 : 224;
    image.U16(fileHeader + 0, plus ? 0x8664 : 0x14C); // machine
    image.U16(fileHeader + 2, 1);                     // one section
    image.U16(fileHeader + 16, optionalSize);
    image.U16(fileHeader + 18, plus ? 0x0022 : 0x0102); // executable image, 32-bit or large
    L.OptionalHeader = fileHeader + 20;
    const size_t o = L.OptionalHeader;
    const size_t rawSize = AlignUp(res.Size, FileAlignment);
    image.U16(o + 0, plus ? 0x20B : 0x10B);
    image.U32(o + 8, rawSize); // size of initialised data
    if (plus)
        image.U64(o + 24, 0x140000000);
    else
        image.U32(o + 28, 0x400000);
    image.U32(o + 32, SectionAlignment);
    image.U32(o + 36, FileAlignment);
    image.U16(o + 40, 6);                                                 // operating system 6.0
    image.U16(o + 48, 6);                                                 // subsystem 6.0
    image.U32(o + 56, ResourceRva + AlignUp(res.Size, SectionAlignment)); // size of image
    image.U32(o + 60, FileAlignment);                                     // size of headers
    image.U16(o + 68, 2);                                                 // Windows GUI
    const size_t directories = o + (plus ? 112 : 96);
    image.U32(o + (plus ? 108 : 92), 16);
    L.ResourceDirectoryEntry = directories + 8 * 2;
    image.U32(L.ResourceDirectoryEntry, ResourceRva);
    image.U32(L.ResourceDirectoryEntry + 4, res.Size);

    L.SectionTable = o + optionalSize;
    image.Text(L.SectionTable, ".rsrc");
    image.U32(L.SectionTable + 8, res.Size);       // virtual size
    image.U32(L.SectionTable + 12, ResourceRva);   // virtual address
    image.U32(L.SectionTable + 16, rawSize);       // size of raw data
    image.U32(L.SectionTable + 20, FileAlignment); // pointer to raw data
    image.U32(L.SectionTable + 36, 0x40000040);    // initialised data, readable

    L.ResourceSection = FileAlignment;
    L.ResourceRva = ResourceRva;
    WriteResources(image, L.ResourceSection, tree, res, names);
    image.Reserve(L.ResourceSection + rawSize);

    L.RootDirectory = L.ResourceSection + res.Directories[root];
    L.RootVersionEntry = L.RootDirectory + 16 + 8 * rootVersionIndex;
    L.VersionTypeDirectory = L.ResourceSection + res.Directories[versionType];
    L.VersionNameEntry = L.VersionTypeDirectory + 16;
    L.VersionNameDirectory = L.ResourceSection + res.Directories[versionName];
    L.LanguageEntry = L.VersionNameDirectory + 16;
    L.VersionDataEntry = L.ResourceSection + res.DataEntries[versionPayload];
    L.VersionBlock = L.ResourceSection + res.Payloads[versionPayload];
    result.Bytes = image.Take();
    return result;
}

TGeneratedElf MakeElf(const TFileVersion& version, const TElfOptions& options) {
    const bool is64 = options.Is64;
    TGeneratedElf result;
    TElfLayout& L = result.Layout;
    TImage image(options.BigEndian);
    const size_t headerSize = is64 ? 64 : 52;
    const size_t phSize = is64 ? 56 : 32;
    const size_t shSize = is64 ? 64 : 40;
    const size_t phCount = options.NoteSegment ? 2 : 1;

    L.ProgramHeaders = headerSize;
    L.Note = AlignUp(headerSize + phSize * phCount, 4);
    L.Desc = L.Note + 12 + 8;
    const size_t code = L.Note + 36;
    // mov eax, 60 (exit); xor edi, edi; syscall
    static constexpr uint8_t ExitCode[] = {0xB8, 0x3C, 0, 0, 0, 0x31, 0xFF, 0x0F, 0x05};
    const size_t strings = code + sizeof ExitCode;
    static constexpr std::string_view Names("\0.note.corvane.version\0.shstrtab\0", 34);
    L.SectionHeaders = AlignUp(strings + Names.size(), 8);
    const size_t end = L.SectionHeaders + 3 * shSize;

    // Identification and header.
    image.Text(0, "\x7F"
                  "ELF");
    image.U8(4, is64 ? 2 : 1);
    image.U8(5, options.BigEndian ? 2 : 1);
    image.U8(6, 1);   // version
    image.U16(16, 2); // executable
    const uint16_t machine = is64 ? (options.BigEndian ? 21 : 62) : (options.BigEndian ? 20 : 3);
    image.U16(18, machine);
    image.U32(20, 1);
    const uint64_t entry = ElfBase + code;
    if (is64) {
        image.U64(24, entry);
        image.U64(32, L.ProgramHeaders);
        image.U64(40, L.SectionHeaders);
        image.U16(52, headerSize);
        image.U16(54, phSize);
        image.U16(56, phCount);
        image.U16(58, shSize);
        image.U16(60, 3);
        image.U16(62, 2); // names in section 2
    } else {
        image.U32(24, entry);
        image.U32(28, L.ProgramHeaders);
        image.U32(32, L.SectionHeaders);
        image.U16(40, headerSize);
        image.U16(42, phSize);
        image.U16(44, phCount);
        image.U16(46, shSize);
        image.U16(48, 3);
        image.U16(50, 2);
    }

    // Program headers: the whole file loaded read and execute, then the note.
    auto programHeader = [&](size_t at, uint32_t type, uint32_t flags, uint64_t offset,
                             uint64_t size, uint64_t align) {
        if (is64) {
            image.U32(at + 0, type);
            image.U32(at + 4, flags);
            image.U64(at + 8, offset);
            image.U64(at + 16, ElfBase + offset);
            image.U64(at + 24, ElfBase + offset);
            image.U64(at + 32, size);
            image.U64(at + 40, size);
            image.U64(at + 48, align);
        } else {
            image.U32(at + 0, type);
            image.U32(at + 4, offset);
            image.U32(at + 8, ElfBase + offset);
            image.U32(at + 12, ElfBase + offset);
            image.U32(at + 16, size);
            image.U32(at + 20, size);
            image.U32(at + 24, flags);
            image.U32(at + 28, align);
        }
    };
    programHeader(L.ProgramHeaders, 1, 5, 0, end, 0x1000);
    if (options.NoteSegment) {
        L.NoteProgramHeader = L.ProgramHeaders + phSize;
        programHeader(L.NoteProgramHeader, 4, 4, L.Note, 36, 4);
    }

    // The note.
    image.U32(L.Note + 0, 8);
    image.U32(L.Note + 4, 16);
    image.U32(L.Note + 8, NT_CORVANE_VERSION);
    image.Text(L.Note + 12, std::string_view(CorvaneNoteOwner, sizeof CorvaneNoteOwner));
    image.U32(L.Desc + 0, version.Major);
    image.U32(L.Desc + 4, version.Minor);
    image.U32(L.Desc + 8, version.Release);
    image.U32(L.Desc + 12, version.Build);

    for (size_t i = 0; i < sizeof ExitCode; ++i)
        image.U8(code + i, ExitCode[i]);
    image.Text(strings, Names);

    // Section headers: the empty one, the note, the section names.
    auto sectionHeader = [&](size_t at, uint32_t name, uint32_t type, uint64_t flags,
                             uint64_t offset, uint64_t size, uint64_t align) {
        if (is64) {
            image.U32(at + 0, name);
            image.U32(at + 4, type);
            image.U64(at + 8, flags);
            image.U64(at + 16, flags ? ElfBase + offset : 0);
            image.U64(at + 24, offset);
            image.U64(at + 32, size);
            image.U64(at + 48, align);
        } else {
            image.U32(at + 0, name);
            image.U32(at + 4, type);
            image.U32(at + 8, flags);
            image.U32(at + 12, flags ? ElfBase + offset : 0);
            image.U32(at + 16, offset);
            image.U32(at + 20, size);
            image.U32(at + 32, align);
        }
    };
    image.Reserve(end);
    L.NoteSectionHeader = L.SectionHeaders + shSize;
    sectionHeader(L.NoteSectionHeader, 1, 7, 2, L.Note, 36, 4);
    sectionHeader(L.SectionHeaders + 2 * shSize, 23, 3, 0, strings, Names.size(), 1);
    result.Bytes = image.Take();
    return result;
}

bool Restamp(std::vector<std::byte>& bytes, const TFileVersion& version) {
    const auto location = LocateFileVersion(bytes);
    if (!location)
        return false;
    TImage patch(location->Encoding == TVersionEncoding::ElfNoteBig);
    if (location->Encoding == TVersionEncoding::PEFixedFileInfo) {
        patch.U32(0, High(version));
        patch.U32(4, Low(version));
    } else {
        patch.U32(0, version.Major);
        patch.U32(4, version.Minor);
        patch.U32(8, version.Release);
        patch.U32(12, version.Build);
    }
    const std::vector<std::byte> numbers = patch.Take();
    std::copy(numbers.begin(), numbers.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(location->Offset));
    return true;
}

std::optional<TFileVersion> ParseVersion(std::string_view text) {
    uint16_t parts[4] = {0, 0, 0, 0};
    size_t count = 0;
    while (count < 4) {
        const size_t dot = text.find('.');
        const std::string_view piece = text.substr(0, dot);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || end != piece.data() + piece.size() ||
            value > 0xFFFF)
            return std::nullopt;
        parts[count++] = static_cast<uint16_t>(value);
        if (dot == std::string_view::npos)
            return TFileVersion{parts[0], parts[1], parts[2], parts[3]};
        text.remove_prefix(dot + 1);
    }
    return std::nullopt; // a fifth part
}

} // namespace corvane::testexe
