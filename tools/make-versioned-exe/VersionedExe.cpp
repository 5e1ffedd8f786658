#include "tools/make-versioned-exe/VersionedExe.h"

#include <charconv>
#include <string>

namespace corvane::testexe {

namespace {

// A growing byte image with numbers written in one byte order.
class Image {
public:
    explicit Image(bool bigEndian = false) : big_(bigEndian) {}

    void Put(size_t at, uint64_t value, size_t width) {
        Reserve(at + width);
        for (size_t i = 0; i < width; ++i) {
            const size_t shift = 8 * (big_ ? width - 1 - i : i);
            bytes_[at + i] = static_cast<std::byte>((value >> shift) & 0xFF);
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
        if (bytes_.size() < size)
            bytes_.insert(bytes_.end(), size - bytes_.size(), std::byte{0});
    }
    std::vector<std::byte> Take() { return std::move(bytes_); }

private:
    bool big_;
    std::vector<std::byte> bytes_;
};

size_t AlignUp(size_t value, size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

uint32_t High(const FileVersion& v) {
    return uint32_t{v.major} << 16 | v.minor;
}
uint32_t Low(const FileVersion& v) {
    return uint32_t{v.release} << 16 | v.build;
}

// ---- PE --------------------------------------------------------------------------------

constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kResourceRva = 0x1000;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kNameFlag = 0x80000000;

// A resource tree: directories hold named entries first, then numbered ones; an entry leads
// to another directory or to one payload.
struct ResEntry {
    std::u16string name; // empty for a numbered entry
    uint32_t id = 0;
    int directory = -1;
    int payload = -1;
};

struct ResTree {
    std::vector<std::vector<ResEntry>> directories;
    std::vector<std::vector<std::byte>> payloads;

    int AddDirectory() {
        directories.emplace_back();
        return static_cast<int>(directories.size() - 1);
    }
    int AddPayload(std::vector<std::byte> bytes) {
        payloads.push_back(std::move(bytes));
        return static_cast<int>(payloads.size() - 1);
    }
};

// Offsets inside the resource section, in the order of the layout: directories, names,
// data entries, payloads.
struct ResOffsets {
    std::vector<size_t> directories;
    std::vector<size_t> names; // per directory, per entry (0 for numbered)
    std::vector<size_t> dataEntries;
    std::vector<size_t> payloads;
    size_t size = 0;
};

ResOffsets PlanResources(const ResTree& tree, std::vector<std::vector<size_t>>& names) {
    ResOffsets o;
    size_t at = 0;
    for (const auto& d : tree.directories) {
        o.directories.push_back(at);
        at += 16 + 8 * d.size();
    }
    names.assign(tree.directories.size(), {});
    for (size_t i = 0; i < tree.directories.size(); ++i)
        for (const ResEntry& e : tree.directories[i]) {
            names[i].push_back(e.name.empty() ? 0 : at);
            if (!e.name.empty())
                at += 2 + 2 * e.name.size();
        }
    at = AlignUp(at, 4);
    for (size_t i = 0; i < tree.payloads.size(); ++i) {
        o.dataEntries.push_back(at);
        at += 16;
    }
    for (const auto& p : tree.payloads) {
        o.payloads.push_back(at);
        at = AlignUp(at + p.size(), 4);
    }
    o.size = at;
    return o;
}

void WriteResources(Image& image, size_t base, const ResTree& tree, const ResOffsets& o,
                    const std::vector<std::vector<size_t>>& names) {
    for (size_t i = 0; i < tree.directories.size(); ++i) {
        const auto& entries = tree.directories[i];
        const size_t dir = base + o.directories[i];
        uint32_t named = 0;
        for (const ResEntry& e : entries)
            named += e.name.empty() ? 0 : 1;
        image.U32(dir + 0, 0); // characteristics
        image.U32(dir + 4, 0); // time stamp
        image.U16(dir + 12, named);
        image.U16(dir + 14, entries.size() - named);
        for (size_t k = 0; k < entries.size(); ++k) {
            const ResEntry& e = entries[k];
            const size_t at = dir + 16 + 8 * k;
            if (e.name.empty()) {
                image.U32(at, e.id);
            } else {
                image.U32(at, kNameFlag | names[i][k]);
                image.U16(base + names[i][k], e.name.size());
                image.Utf16(base + names[i][k] + 2, e.name);
            }
            if (e.directory >= 0)
                image.U32(at + 4, kSubdirectoryFlag | o.directories[e.directory]);
            else
                image.U32(at + 4, o.dataEntries[e.payload]);
        }
    }
    for (size_t p = 0; p < tree.payloads.size(); ++p) {
        const size_t entry = base + o.dataEntries[p];
        image.U32(entry + 0, kResourceRva + o.payloads[p]);
        image.U32(entry + 4, tree.payloads[p].size());
        image.U32(entry + 8, 1252); // code page
        for (size_t i = 0; i < tree.payloads[p].size(); ++i)
            image.U8(base + o.payloads[p] + i, std::to_integer<uint8_t>(tree.payloads[p][i]));
    }
}

std::vector<std::byte> VersionBlock(const FileVersion& file, const FileVersion& product) {
    Image b;
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

constexpr uint64_t kElfBase = 0x400000;

} // namespace

GeneratedPE MakePE(const FileVersion& version, const PeOptions& options) {
    const bool plus = options.kind == PeKind::PE32Plus;
    GeneratedPE result;
    PeLayout& l = result.layout;

    // The resource tree: [named "CORVANE"], [RT_ICON 3], RT_VERSION 16 -> 1 -> pt-BR.
    ResTree tree;
    const int root = tree.AddDirectory();
    int versionType = -1;
    int versionName = -1;
    int versionPayload = -1;
    if (options.otherResources) {
        const int customType = tree.AddDirectory();
        const int customName = tree.AddDirectory();
        tree.directories[root].push_back({u"CORVANE", 0, customType, -1});
        tree.directories[customType].push_back({{}, 1, customName, -1});
        tree.directories[customName].push_back({{}, 0x0416, -1, tree.AddPayload(Filler(24, 7))});
        const int iconType = tree.AddDirectory();
        const int iconName = tree.AddDirectory();
        tree.directories[root].push_back({{}, 3, iconType, -1});
        tree.directories[iconType].push_back({{}, 1, iconName, -1});
        tree.directories[iconName].push_back({{}, 0x0416, -1, tree.AddPayload(Filler(40, 99))});
    }
    versionType = tree.AddDirectory();
    versionName = tree.AddDirectory();
    versionPayload =
        tree.AddPayload(VersionBlock(version, options.productVersion.value_or(version)));
    const size_t rootVersionIndex = tree.directories[root].size();
    tree.directories[root].push_back({{}, 16, versionType, -1});
    tree.directories[versionType].push_back({{}, 1, versionName, -1});
    tree.directories[versionName].push_back({{}, 0x0416, -1, versionPayload});

    std::vector<std::vector<size_t>> names;
    const ResOffsets res = PlanResources(tree, names);

    Image image;
    // DOS header: "MZ" and the offset of the PE header.
    image.Text(0, "MZ");
    image.U32(0x3C, 0x40);
    l.peHeader = 0x40;
    image.Text(l.peHeader, std::string_view("PE\0\0", 4));
    const size_t fileHeader = l.peHeader + 4;
    const size_t optionalSize = plus ? 240 : 224;
    image.U16(fileHeader + 0, plus ? 0x8664 : 0x14C); // machine
    image.U16(fileHeader + 2, 1);                     // one section
    image.U16(fileHeader + 16, optionalSize);
    image.U16(fileHeader + 18, plus ? 0x0022 : 0x0102); // executable image, 32-bit or large
    l.optionalHeader = fileHeader + 20;
    const size_t o = l.optionalHeader;
    const size_t rawSize = AlignUp(res.size, kFileAlignment);
    image.U16(o + 0, plus ? 0x20B : 0x10B);
    image.U32(o + 8, rawSize); // size of initialised data
    if (plus)
        image.U64(o + 24, 0x140000000);
    else
        image.U32(o + 28, 0x400000);
    image.U32(o + 32, kSectionAlignment);
    image.U32(o + 36, kFileAlignment);
    image.U16(o + 40, 6);                                                   // operating system 6.0
    image.U16(o + 48, 6);                                                   // subsystem 6.0
    image.U32(o + 56, kResourceRva + AlignUp(res.size, kSectionAlignment)); // size of image
    image.U32(o + 60, kFileAlignment);                                      // size of headers
    image.U16(o + 68, 2);                                                   // Windows GUI
    const size_t directories = o + (plus ? 112 : 96);
    image.U32(o + (plus ? 108 : 92), 16);
    l.resourceDirectoryEntry = directories + 8 * 2;
    image.U32(l.resourceDirectoryEntry, kResourceRva);
    image.U32(l.resourceDirectoryEntry + 4, res.size);

    l.sectionTable = o + optionalSize;
    image.Text(l.sectionTable, ".rsrc");
    image.U32(l.sectionTable + 8, res.size);        // virtual size
    image.U32(l.sectionTable + 12, kResourceRva);   // virtual address
    image.U32(l.sectionTable + 16, rawSize);        // size of raw data
    image.U32(l.sectionTable + 20, kFileAlignment); // pointer to raw data
    image.U32(l.sectionTable + 36, 0x40000040);     // initialised data, readable

    l.resourceSection = kFileAlignment;
    l.resourceRva = kResourceRva;
    WriteResources(image, l.resourceSection, tree, res, names);
    image.Reserve(l.resourceSection + rawSize);

    l.rootDirectory = l.resourceSection + res.directories[root];
    l.rootVersionEntry = l.rootDirectory + 16 + 8 * rootVersionIndex;
    l.versionTypeDirectory = l.resourceSection + res.directories[versionType];
    l.versionNameEntry = l.versionTypeDirectory + 16;
    l.versionNameDirectory = l.resourceSection + res.directories[versionName];
    l.languageEntry = l.versionNameDirectory + 16;
    l.versionDataEntry = l.resourceSection + res.dataEntries[versionPayload];
    l.versionBlock = l.resourceSection + res.payloads[versionPayload];
    result.bytes = image.Take();
    return result;
}

GeneratedElf MakeElf(const FileVersion& version, const ElfBuildOptions& options) {
    const bool is64 = options.is64;
    GeneratedElf result;
    ElfLayout& l = result.layout;
    Image image(options.bigEndian);
    const size_t headerSize = is64 ? 64 : 52;
    const size_t phSize = is64 ? 56 : 32;
    const size_t shSize = is64 ? 64 : 40;
    const size_t phCount = options.noteSegment ? 2 : 1;

    l.programHeaders = headerSize;
    l.note = AlignUp(headerSize + phSize * phCount, 4);
    l.desc = l.note + 12 + 8;
    const size_t code = l.note + 36;
    // mov eax, 60 (exit); xor edi, edi; syscall
    static constexpr uint8_t kExitCode[] = {0xB8, 0x3C, 0, 0, 0, 0x31, 0xFF, 0x0F, 0x05};
    const size_t strings = code + sizeof kExitCode;
    static constexpr std::string_view kNames("\0.note.corvane.version\0.shstrtab\0", 34);
    l.sectionHeaders = AlignUp(strings + kNames.size(), 8);
    const size_t end = l.sectionHeaders + 3 * shSize;

    // Identification and header.
    image.Text(0, "\x7F"
                  "ELF");
    image.U8(4, is64 ? 2 : 1);
    image.U8(5, options.bigEndian ? 2 : 1);
    image.U8(6, 1);   // version
    image.U16(16, 2); // executable
    const uint16_t machine = is64 ? (options.bigEndian ? 21 : 62) : (options.bigEndian ? 20 : 3);
    image.U16(18, machine);
    image.U32(20, 1);
    const uint64_t entry = kElfBase + code;
    if (is64) {
        image.U64(24, entry);
        image.U64(32, l.programHeaders);
        image.U64(40, l.sectionHeaders);
        image.U16(52, headerSize);
        image.U16(54, phSize);
        image.U16(56, phCount);
        image.U16(58, shSize);
        image.U16(60, 3);
        image.U16(62, 2); // names in section 2
    } else {
        image.U32(24, entry);
        image.U32(28, l.programHeaders);
        image.U32(32, l.sectionHeaders);
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
            image.U64(at + 16, kElfBase + offset);
            image.U64(at + 24, kElfBase + offset);
            image.U64(at + 32, size);
            image.U64(at + 40, size);
            image.U64(at + 48, align);
        } else {
            image.U32(at + 0, type);
            image.U32(at + 4, offset);
            image.U32(at + 8, kElfBase + offset);
            image.U32(at + 12, kElfBase + offset);
            image.U32(at + 16, size);
            image.U32(at + 20, size);
            image.U32(at + 24, flags);
            image.U32(at + 28, align);
        }
    };
    programHeader(l.programHeaders, 1, 5, 0, end, 0x1000);
    if (options.noteSegment) {
        l.noteProgramHeader = l.programHeaders + phSize;
        programHeader(l.noteProgramHeader, 4, 4, l.note, 36, 4);
    }

    // The note.
    image.U32(l.note + 0, 8);
    image.U32(l.note + 4, 16);
    image.U32(l.note + 8, kNtCorvaneVersion);
    image.Text(l.note + 12, std::string_view(kCorvaneNoteOwner, sizeof kCorvaneNoteOwner));
    image.U32(l.desc + 0, version.major);
    image.U32(l.desc + 4, version.minor);
    image.U32(l.desc + 8, version.release);
    image.U32(l.desc + 12, version.build);

    for (size_t i = 0; i < sizeof kExitCode; ++i)
        image.U8(code + i, kExitCode[i]);
    image.Text(strings, kNames);

    // Section headers: the empty one, the note, the section names.
    auto sectionHeader = [&](size_t at, uint32_t name, uint32_t type, uint64_t flags,
                             uint64_t offset, uint64_t size, uint64_t align) {
        if (is64) {
            image.U32(at + 0, name);
            image.U32(at + 4, type);
            image.U64(at + 8, flags);
            image.U64(at + 16, flags ? kElfBase + offset : 0);
            image.U64(at + 24, offset);
            image.U64(at + 32, size);
            image.U64(at + 48, align);
        } else {
            image.U32(at + 0, name);
            image.U32(at + 4, type);
            image.U32(at + 8, flags);
            image.U32(at + 12, flags ? kElfBase + offset : 0);
            image.U32(at + 16, offset);
            image.U32(at + 20, size);
            image.U32(at + 32, align);
        }
    };
    image.Reserve(end);
    l.noteSectionHeader = l.sectionHeaders + shSize;
    sectionHeader(l.noteSectionHeader, 1, 7, 2, l.note, 36, 4);
    sectionHeader(l.sectionHeaders + 2 * shSize, 23, 3, 0, strings, kNames.size(), 1);
    result.bytes = image.Take();
    return result;
}

bool Restamp(std::vector<std::byte>& bytes, const FileVersion& version) {
    const auto location = LocateFileVersion(bytes);
    if (!location)
        return false;
    Image patch(location->encoding == VersionEncoding::ElfNoteBig);
    if (location->encoding == VersionEncoding::PEFixedFileInfo) {
        patch.U32(0, High(version));
        patch.U32(4, Low(version));
    } else {
        patch.U32(0, version.major);
        patch.U32(4, version.minor);
        patch.U32(8, version.release);
        patch.U32(12, version.build);
    }
    const std::vector<std::byte> numbers = patch.Take();
    std::copy(numbers.begin(), numbers.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(location->offset));
    return true;
}

std::optional<FileVersion> ParseVersion(std::string_view text) {
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
            return FileVersion{parts[0], parts[1], parts[2], parts[3]};
        text.remove_prefix(dot + 1);
    }
    return std::nullopt; // a fifth part
}

} // namespace corvane::testexe
