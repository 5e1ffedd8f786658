#include "update/VersionInfo.h"
#include "tools/make-versioned-exe/VersionedExe.h"
#include "update/LauncherVersion.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

using testexe::ElfBuildOptions;
using testexe::GeneratedElf;
using testexe::GeneratedPE;
using testexe::MakeElf;
using testexe::MakePE;
using testexe::PeKind;
using testexe::PeOptions;
using Bytes = std::vector<std::byte>;

void Put(Bytes& bytes, size_t at, uint64_t value, size_t width, bool big = false) {
    ASSERT_LE(at + width, bytes.size());
    for (size_t i = 0; i < width; ++i)
        bytes[at + i] = static_cast<std::byte>(value >> (8 * (big ? width - 1 - i : i)));
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::filesystem::path& path) {
    Bytes bytes(std::filesystem::file_size(path));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

class TempFolder {
public:
    TempFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("corvane-version-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Only the bytes of the version numbers may differ between an executable and its restamped
// copy, and some of them must.
void ExpectOnlyVersionNumbersDiffer(const Bytes& original, const Bytes& copy) {
    ASSERT_EQ(copy.size(), original.size());
    const auto location = LocateFileVersion(copy);
    ASSERT_TRUE(location.has_value());
    const size_t width = location->encoding == VersionEncoding::PEFixedFileInfo ? 8 : 16;
    size_t differing = 0;
    for (size_t i = 0; i < copy.size(); ++i)
        if (copy[i] != original[i]) {
            ++differing;
            EXPECT_TRUE(i >= location->offset && i < location->offset + width) << "byte " << i;
        }
    EXPECT_GT(differing, 0u);
}

// ---- every format gives back the version it was written with ---------------------------

struct Format {
    const char* name;
    std::function<Bytes(const FileVersion&)> make;
    // Where the version numbers end in the file made for 1.2.3.4: no shorter prefix of the
    // file may give a version.
    std::function<size_t()> versionEnd;
};

PeOptions PEOptions(PeKind kind, bool other) {
    PeOptions options;
    options.kind = kind;
    options.otherResources = other;
    return options;
}

ElfBuildOptions ElfOptions(bool is64, bool big, bool segment) {
    ElfBuildOptions options;
    options.is64 = is64;
    options.bigEndian = big;
    options.noteSegment = segment;
    return options;
}

Format PEFormat(const char* name, PeOptions options) {
    return {name, [=](const FileVersion& v) { return MakePE(v, options).bytes; },
            [=] {
                const auto pe = MakePE({1, 2, 3, 4}, options);
                return pe.layout.versionBlock + 92; // the data entry claims the whole block
            }};
}

Format ElfFormat(const char* name, ElfBuildOptions options) {
    return {name, [=](const FileVersion& v) { return MakeElf(v, options).bytes; },
            [=] {
                return MakeElf({1, 2, 3, 4}, options).layout.desc + 16;
            }};
}

const Format kFormats[] = {
    PEFormat("PE32", PEOptions(PeKind::PE32, true)),
    PEFormat("PE32Plus", PEOptions(PeKind::PE32Plus, true)),
    PEFormat("PE32OnlyVersion", PEOptions(PeKind::PE32, false)),
    ElfFormat("Elf64Little", ElfOptions(true, false, true)),
    ElfFormat("Elf32Little", ElfOptions(false, false, true)),
    ElfFormat("Elf64Big", ElfOptions(true, true, true)),
    ElfFormat("Elf32Big", ElfOptions(false, true, true)),
    ElfFormat("Elf64SectionsOnly", ElfOptions(true, false, false)),
    ElfFormat("Elf32BigSectionsOnly", ElfOptions(false, true, false)),
};

// Parts with distinct high and low bytes catch swapped words and byte orders.
const FileVersion kVersions[] = {
    {2019, 1, 0, 4}, {0, 0, 0, 0}, {65535, 65535, 65535, 65535}, {258, 772, 1286, 1800}};

void PrintTo(const Format& format, std::ostream* out) {
    *out << format.name;
}

class VersionsRead : public ::testing::TestWithParam<std::tuple<Format, FileVersion>> {};

TEST_P(VersionsRead, FromBytesAndFromFile) {
    const auto& [format, version] = GetParam();
    const Bytes bytes = format.make(version);
    const auto read = ReadFileVersion(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, version);

    TempFolder folder;
    WriteFile(folder / "Corvane.EXE", bytes);
    EXPECT_EQ(FileVersionOf((folder / "Corvane.EXE").string()), VersionText(version));
}

TEST_P(VersionsRead, RestampedCopyCarriesTheNewVersionAndNothingElseChanges) {
    const auto& [format, version] = GetParam();
    const Bytes original = format.make({9, 8, 7, 6});
    Bytes copy = original;
    ASSERT_TRUE(testexe::Restamp(copy, version));
    EXPECT_EQ(ReadFileVersion(copy), version);
    ExpectOnlyVersionNumbersDiffer(original, copy);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, VersionsRead,
                         ::testing::Combine(::testing::ValuesIn(kFormats),
                                            ::testing::ValuesIn(kVersions)),
                         [](const auto& p) {
                             const FileVersion& v = std::get<1>(p.param);
                             return std::string(std::get<0>(p.param).name) + "_" +
                                    std::to_string(v.major) + "_" + std::to_string(v.minor) + "_" +
                                    std::to_string(v.release) + "_" + std::to_string(v.build);
                         });

class Truncated : public ::testing::TestWithParam<Format> {};

// Every prefix of a file is a file cut short: none may give a version other than the one
// written, and none that ends before the version numbers may give one at all.
TEST_P(Truncated, PrefixesNeverGiveAnotherVersion) {
    const Format& format = GetParam();
    const FileVersion version{1, 2, 3, 4};
    const Bytes whole = format.make(version);
    const size_t versionEnd = format.versionEnd();
    for (size_t size = 0; size < whole.size(); ++size) {
        const auto read = ReadFileVersion(std::span(whole).first(size));
        if (size < versionEnd) {
            EXPECT_FALSE(read.has_value()) << "cut at " << size;
        } else if (read) {
            EXPECT_EQ(*read, version) << "cut at " << size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, Truncated, ::testing::ValuesIn(kFormats),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(VersionText, AllFourNumbersInFull) {
    EXPECT_EQ(VersionText({2019, 1, 0, 4}), "2019.1.0.4");
    EXPECT_EQ(VersionText({1, 0, 0, 14}), "1.0.0.14");
    EXPECT_EQ(VersionText({65535, 900, 0, 104}), "65535.900.0.104");
}

TEST(PEVersion, ProductVersionIsNotUsed) {
    PeOptions options;
    options.productVersion = FileVersion{7, 7, 7, 7};
    EXPECT_EQ(ReadFileVersion(MakePE({2019, 1, 0, 4}, options).bytes),
              (FileVersion{2019, 1, 0, 4}));
}

// The note stamped by cmake/CorvaneVersion.cmake into an executable linked by the build's
// own toolchain (with its sanitizers, if any).
TEST(StampedExecutable, CarriesTheProjectVersion) {
    EXPECT_EQ(FileVersionOf(CORVANE_STAMPED_EXE), CORVANE_PROJECT_VERSION);
}

TEST(StampedExecutable, RestampedCopyDiffersOnlyInTheVersionNumbers) {
    const Bytes original = ReadFile(CORVANE_STAMPED_EXE);
    Bytes copy = original;
    ASSERT_TRUE(testexe::Restamp(copy, {2019, 1, 0, 14}));
    TempFolder folder;
    WriteFile(folder / "Corvane.NEW", copy);
    EXPECT_EQ(FileVersionOf((folder / "Corvane.NEW").string()), "2019.1.0.14");
    ExpectOnlyVersionNumbersDiffer(original, copy);
}

// ---- damaged files give no version --------------------------------------------------------

struct Damage {
    const char* name;
    std::function<void(Bytes&, const testexe::PeLayout&)> apply;
};

const Damage kPEDamages[] = {
    {"NoDosSignature", [](Bytes& b, auto&) { Put(b, 0, 'X', 1); }},
    {"PEHeaderPastTheEnd", [](Bytes& b, auto&) { Put(b, 0x3C, b.size() + 16, 4); }},
    {"PEHeaderAtFourGigabytes", [](Bytes& b, auto&) { Put(b, 0x3C, 0xFFFFFFFF, 4); }},
    {"NoPESignature", [](Bytes& b, auto& l) { Put(b, l.peHeader + 2, 'X', 1); }},
    {"UnknownOptionalHeader", [](Bytes& b, auto& l) { Put(b, l.optionalHeader, 0x107, 2); }},
    {"OptionalHeaderTooSmallForResources",
     [](Bytes& b, auto& l) { Put(b, l.peHeader + 4 + 16, 100, 2); }},
    // NumberOfRvaAndSizes comes just before the data directories; resources are the third.
    {"OnlyTwoDataDirectories",
     [](Bytes& b, auto& l) { Put(b, l.resourceDirectoryEntry - 16 - 4, 2, 4); }},
    {"NoResourceDirectory", [](Bytes& b, auto& l) { Put(b, l.resourceDirectoryEntry, 0, 4); }},
    {"ResourcesOutsideEverySection",
     [](Bytes& b, auto& l) { Put(b, l.resourceDirectoryEntry, 0x9000, 4); }},
    {"NoSections", [](Bytes& b, auto& l) { Put(b, l.peHeader + 4 + 2, 0, 2); }},
    {"SixtyFiveThousandSections", [](Bytes& b, auto& l) { Put(b, l.peHeader + 4 + 2, 0xFFFF, 2); }},
    {"SectionDataPastTheEnd",
     [](Bytes& b, auto& l) { Put(b, l.sectionTable + 20, 0xFFFFF000, 4); }},
    {"SectionOfFourGigabytes",
     [](Bytes& b, auto& l) {
         Put(b, l.sectionTable + 16, 0xFFFFFFFF, 4);
         b.resize(l.versionBlock + 60); // and the file ends inside the version block
     }},
    {"NoVersionType", [](Bytes& b, auto& l) { Put(b, l.rootVersionEntry, 17, 4); }},
    {"VersionTypeIsALeaf",
     [](Bytes& b, auto& l) {
         Put(b, l.rootVersionEntry + 4, l.versionDataEntry - l.resourceSection, 4);
     }},
    {"NoVersionInfoName", [](Bytes& b, auto& l) { Put(b, l.versionNameEntry, 2, 4); }},
    {"NoLanguage", [](Bytes& b, auto& l) { Put(b, l.versionNameDirectory + 14, 0, 2); }},
    {"VersionTypePointsBackAtTheRoot",
     [](Bytes& b, auto& l) { Put(b, l.rootVersionEntry + 4, 0x80000000, 4); }},
    {"NameEntryPointsBackAtItsOwnDirectory",
     [](Bytes& b, auto& l) {
         Put(b, l.versionNameEntry + 4, 0x80000000 | (l.versionTypeDirectory - l.resourceSection),
             4);
     }},
    {"LanguageEntryPointsBackAtTheRoot",
     [](Bytes& b, auto& l) { Put(b, l.languageEntry + 4, 0x80000000, 4); }},
    {"DirectoryPastTheEnd",
     [](Bytes& b, auto& l) { Put(b, l.rootVersionEntry + 4, 0x80000000 | 0x7FFFFFF0, 4); }},
    {"DirectoryClaimsAllEntries",
     [](Bytes& b, auto& l) {
         Put(b, l.rootDirectory + 12, 0xFFFF, 2);
         Put(b, l.rootDirectory + 14, 0xFFFF, 2);
     }},
    {"DataEntryOutsideTheSection",
     [](Bytes& b, auto& l) { Put(b, l.languageEntry + 4, 0x7FFFFFF0, 4); }},
    {"DataOfFourGigabytes",
     [](Bytes& b, auto& l) { Put(b, l.versionDataEntry + 4, 0xFFFFFFFF, 4); }},
    {"DataClaimsMoreThanTheFile",
     [](Bytes& b, auto& l) {
         Put(b, l.sectionTable + 16, 0xFFFFFFFF, 4); // a section as large as it likes
         Put(b, l.versionDataEntry + 4, 0x10000000, 4);
     }},
    {"DataSmallerThanTheFixedBlock",
     [](Bytes& b, auto& l) { Put(b, l.versionDataEntry + 4, 60, 4); }},
    {"DataOutsideEverySection", [](Bytes& b, auto& l) { Put(b, l.versionDataEntry, 0x5000, 4); }},
    {"DataRunsPastTheSection",
     [](Bytes& b, auto& l) { Put(b, l.versionDataEntry, l.resourceRva + 0x200 - 40, 4); }},
    {"BlockShorterThanTheFixedBlock", [](Bytes& b, auto& l) { Put(b, l.versionBlock, 60, 2); }},
    {"BlockLongerThanItsData", [](Bytes& b, auto& l) { Put(b, l.versionBlock, 0xFFFF, 2); }},
    {"NoFixedBlock", [](Bytes& b, auto& l) { Put(b, l.versionBlock + 2, 0, 2); }},
    {"FixedBlockLongerThanTheBlock", [](Bytes& b, auto& l) { Put(b, l.versionBlock + 2, 60, 2); }},
    {"WrongKey", [](Bytes& b, auto& l) { Put(b, l.versionBlock + 6 + 2 * 14, 'X', 2); }},
    {"WrongSignature", [](Bytes& b, auto& l) { Put(b, l.versionBlock + 40, 0xFEEF04BE, 4); }},
    {"CutInsideTheFixedBlock", [](Bytes& b, auto& l) { b.resize(l.versionBlock + 60); }},
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

class DamagedPE : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedPE, GivesNoVersion) {
    for (PeKind kind : {PeKind::PE32, PeKind::PE32Plus}) {
        GeneratedPE pe = MakePE({2019, 1, 0, 4}, PEOptions(kind, true));
        ASSERT_TRUE(ReadFileVersion(pe.bytes).has_value());
        GetParam().apply(pe.bytes, pe.layout);
        EXPECT_EQ(ReadFileVersion(pe.bytes), std::nullopt)
            << (kind == PeKind::PE32 ? "PE32" : "PE32+");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedPE, ::testing::ValuesIn(kPEDamages),
                         [](const auto& p) { return std::string(p.param.name); });

struct ElfDamage {
    const char* name;
    ElfBuildOptions options;
    std::function<void(Bytes&, const testexe::ElfLayout&, bool big)> apply;
};

const ElfBuildOptions kElf64 = ElfOptions(true, false, true);
const ElfBuildOptions kElf32Big = ElfOptions(false, true, true);
const ElfBuildOptions kElf64SectionsOnly = ElfOptions(true, false, false);

const ElfDamage kElfDamages[] = {
    {"UnknownClass", kElf64, [](Bytes& b, auto&, bool) { Put(b, 4, 3, 1); }},
    {"UnknownByteOrder", kElf64, [](Bytes& b, auto&, bool) { Put(b, 5, 0, 1); }},
    {"CutInsideTheHeader", kElf64, [](Bytes& b, auto&, bool) { b.resize(40); }},
    {"ProgramHeadersPastTheEnd", kElf64,
     [](Bytes& b, auto&, bool) { Put(b, 32, 0xFFFFFFFFFFFFFF00, 8); }},
    {"ProgramHeaderEntriesTooSmall", kElf64, [](Bytes& b, auto&, bool) { Put(b, 54, 8, 2); }},
    {"ProgramHeaderTableOverflows", kElf64,
     [](Bytes& b, auto&, bool) {
         Put(b, 32, 0xFFFFFFFFFFFFFFF0, 8);
         Put(b, 56, 0xFFFF, 2);
     }},
    {"NoteSegmentPastTheEnd", kElf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.noteProgramHeader + 8, b.size() - 8, 8); }},
    {"NoteSegmentOfGigabytes", kElf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.noteProgramHeader + 32, 0xFFFFFFFF00000000, 8); }},
    {"NoteSegmentEndOverflows", kElf64,
     [](Bytes& b, auto& l, bool) {
         Put(b, l.noteProgramHeader + 8, 0xFFFFFFFFFFFFFFF0, 8);
         Put(b, l.noteProgramHeader + 32, 0x20, 8);
     }},
    {"NoteSegment32PastTheEnd", kElf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.noteProgramHeader + 16, 0xFFFFFFF0, 4, big); }},
    {"NameOfFourGigabytes", kElf64, [](Bytes& b, auto& l, bool) { Put(b, l.note, 0xFFFFFFFF, 4); }},
    {"DescOfFourGigabytes", kElf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.note + 4, 0xFFFFFFFF, 4); }},
    {"DescTooShort", kElf64, [](Bytes& b, auto& l, bool) { Put(b, l.note + 4, 8, 4); }},
    {"DescTooShortBig", kElf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.note + 4, 12, 4, big); }},
    {"OtherOwner", kElf64, [](Bytes& b, auto& l, bool) { Put(b, l.note + 12 + 6, 'f', 1); }},
    {"OwnerWithoutItsNul", kElf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.note + 12 + 7, 'x', 1); }},
    {"OtherType", kElf64, [](Bytes& b, auto& l, bool) { Put(b, l.note + 8, 2, 4); }},
    {"PartOverSixteenBits", kElf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.desc + 4, 0x10000, 4); }},
    {"PartOverSixteenBitsBig", kElf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.desc + 12, 0x10000, 4, big); }},
    {"CutInsideTheNote", kElf64, [](Bytes& b, auto& l, bool) { b.resize(l.desc + 8); }},
    {"SectionHeadersPastTheEnd", kElf64SectionsOnly,
     [](Bytes& b, auto&, bool) { Put(b, 40, 0x7FFFFFFFFFFFFFFF, 8); }},
    {"NoteSectionOfGigabytes", kElf64SectionsOnly,
     [](Bytes& b, auto& l, bool) { Put(b, l.noteSectionHeader + 32, 0x100000000, 8); }},
    {"NoNoteSection", kElf64SectionsOnly,
     [](Bytes& b, auto& l, bool) { Put(b, l.noteSectionHeader + 4, 1, 4); }},
};

void PrintTo(const ElfDamage& damage, std::ostream* out) {
    *out << damage.name;
}

class DamagedElf : public ::testing::TestWithParam<ElfDamage> {};

TEST_P(DamagedElf, GivesNoVersion) {
    const ElfDamage& damage = GetParam();
    GeneratedElf elf = MakeElf({2019, 1, 0, 4}, damage.options);
    ASSERT_TRUE(ReadFileVersion(elf.bytes).has_value());
    damage.apply(elf.bytes, elf.layout, damage.options.bigEndian);
    EXPECT_EQ(ReadFileVersion(elf.bytes), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedElf, ::testing::ValuesIn(kElfDamages),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(ElfNotes, NotesBeforeOursArePassedOver) {
    // A foreign note ahead of ours in the same segment, as the build-id note is.
    GeneratedElf elf = MakeElf({2019, 1, 0, 4});
    const size_t note = elf.layout.note;
    Bytes foreign(16);
    Put(foreign, 0, 4, 4); // namesz "GNU\0"
    Put(foreign, 4, 0, 4); // descsz
    Put(foreign, 8, 3, 4); // type
    Put(foreign, 12, 0x00554E47, 4);
    elf.bytes.insert(elf.bytes.begin() + static_cast<std::ptrdiff_t>(note), foreign.begin(),
                     foreign.end());
    // Everything after the insertion moved by 16: the section headers and the segment size.
    Put(elf.bytes, 40, elf.layout.sectionHeaders + 16, 8);
    Put(elf.bytes, elf.layout.noteProgramHeader + 32, 36 + 16, 8);
    EXPECT_EQ(ReadFileVersion(elf.bytes), (FileVersion{2019, 1, 0, 4}));
}

// In a segment aligned to 8 (as the GNU property notes are) names and descriptions are padded
// to 8 bytes: a foreign note with a 12-byte description takes 32 bytes, not 28, and our
// numbers begin 24 bytes into our note.
TEST(ElfNotes, NotesOfASegmentAlignedToEight) {
    GeneratedElf elf = MakeElf({2019, 1, 0, 4});
    Bytes& b = elf.bytes;
    const size_t region = (b.size() + 7) / 8 * 8;
    b.resize(region + 72);
    Put(b, region + 0, 4, 4);  // namesz "GNU\0"
    Put(b, region + 4, 12, 4); // descsz, padded to 16
    Put(b, region + 8, 5, 4);
    Put(b, region + 12, 0x00554E47, 4);
    Put(b, region + 16, 0xFFFFFFFF, 4); // a description that reads as a note header when
    Put(b, region + 20, 0xFFFFFFFF, 4); // padded to 4 only
    Put(b, region + 24, 0xFFFFFFFF, 4);
    const size_t ours = region + 32;
    Put(b, ours + 0, 8, 4);
    Put(b, ours + 4, 16, 4);
    Put(b, ours + 8, kNtCorvaneVersion, 4);
    std::copy_n(reinterpret_cast<const std::byte*>(kCorvaneNoteOwner), 8, b.begin() + ours + 12);
    for (size_t i = 0; i < 4; ++i)
        Put(b, ours + 24 + 4 * i, 10 + i, 4);
    const size_t ph = elf.layout.noteProgramHeader;
    Put(b, ph + 8, region, 8);
    Put(b, ph + 32, 72, 8);
    Put(b, ph + 48, 8, 8);
    const auto location = LocateFileVersion(b);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->version, (FileVersion{10, 11, 12, 13}));
    EXPECT_EQ(location->offset, ours + 24);
}

// Sixty-five thousand note segments over one megabyte of empty notes: read one by one that is
// billions of notes. The reader gives up after its fixed number of reads.
TEST(DamagedElf, EndlessNoteSegmentsEndInNoVersion) {
    GeneratedElf elf = MakeElf({2019, 1, 0, 4});
    Bytes& b = elf.bytes;
    const size_t region = b.size();
    b.resize(region + (1 << 20));
    const size_t table = b.size();
    const size_t count = 0xFFFF;
    b.resize(table + 56 * count);
    for (size_t i = 0; i < count; ++i) {
        Put(b, table + 56 * i, 4, 4);            // PT_NOTE
        Put(b, table + 56 * i + 8, region, 8);   // offset
        Put(b, table + 56 * i + 32, 1 << 20, 8); // size
        Put(b, table + 56 * i + 48, 4, 8);       // align
    }
    Put(b, 32, table, 8);
    Put(b, 56, count, 2);
    EXPECT_EQ(ReadFileVersion(b), std::nullopt);
}

// ---- what is read of a large file ----------------------------------------------------------

// A source of four gigabytes that counts the bytes read: the version lies at its far end.
class CountingSource : public ByteSource {
public:
    CountingSource(Bytes head, uint64_t tailOffset, Bytes tail)
        : head_(std::move(head)), tailOffset_(tailOffset), tail_(std::move(tail)) {}
    uint64_t Size() const override { return tailOffset_ + tail_.size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        if (offset > Size() || into.size() > Size() - offset)
            return false;
        bytesRead += into.size();
        for (size_t i = 0; i < into.size(); ++i) {
            const uint64_t at = offset + i;
            into[i] = at < head_.size()   ? head_[at]
                      : at >= tailOffset_ ? tail_[at - tailOffset_]
                                          : std::byte{0};
        }
        return true;
    }
    uint64_t bytesRead = 0;

private:
    Bytes head_;
    uint64_t tailOffset_;
    Bytes tail_;
};

TEST(LargeFile, OnlyThePiecesTheReaderNeedsAreRead) {
    GeneratedPE pe = MakePE({2019, 1, 0, 4});
    const uint64_t farAway = 0xFFFFF000 - 0x1000;
    const size_t section = pe.layout.resourceSection;
    Bytes tail(pe.bytes.begin() + static_cast<std::ptrdiff_t>(section), pe.bytes.end());
    pe.bytes.resize(section);
    Put(pe.bytes, pe.layout.sectionTable + 20, farAway, 4);
    CountingSource source(pe.bytes, farAway, tail);
    EXPECT_EQ(ReadFileVersion(source), (FileVersion{2019, 1, 0, 4}));
    EXPECT_LT(source.bytesRead, 1024u);
}

TEST(LargeFile, SparseFileOnDiskIsReadByOffset) {
    GeneratedPE pe = MakePE({2019, 1, 0, 4});
    const uint64_t farAway = 0xC0000000; // three gigabytes, never written
    const size_t section = pe.layout.resourceSection;
    Bytes tail(pe.bytes.begin() + static_cast<std::ptrdiff_t>(section), pe.bytes.end());
    pe.bytes.resize(section);
    Put(pe.bytes, pe.layout.sectionTable + 20, farAway, 4);
    TempFolder folder;
    const auto path = folder / "Corvane.EXE";
    WriteFile(path, pe.bytes);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(farAway));
        out.write(reinterpret_cast<const char*>(tail.data()),
                  static_cast<std::streamsize>(tail.size()));
    }
    EXPECT_EQ(FileVersionOf(path.string()), "2019.1.0.4");
}

// ---- files that are not executables -------------------------------------------------------

TEST(FileVersionOf, NothingForFilesWithoutAVersion) {
    TempFolder folder;
    std::ofstream(folder / "empty.exe").close();
    std::ofstream(folder / "Corvane.ini") << "[Servidor]\nLocal Exe=\\\\servidor\\suite\\\n";
    std::ofstream(folder / "MZ.exe") << "MZ";
    std::ofstream(folder / "ELF.exe") << "\x7F"
                                         "ELF";
    std::filesystem::create_directory(folder / "folder.exe");
    std::filesystem::create_symlink(folder / "absent.exe", folder / "dangling.exe");
    ASSERT_EQ(::mkfifo((folder / "pipe.exe").c_str(), 0600), 0);
    {
        // An ELF file without our note.
        GeneratedElf elf = MakeElf({1, 0, 0, 0});
        Put(elf.bytes, elf.layout.note + 8, 3, 4);
        WriteFile(folder / "foreign-elf.exe", elf.bytes);
    }
    {
        GeneratedPE pe = MakePE({1, 0, 0, 0});
        Put(pe.bytes, pe.layout.rootVersionEntry, 17, 4);
        WriteFile(folder / "unversioned.exe", pe.bytes);
    }
    for (const char* name :
         {"absent.exe", "empty.exe", "Corvane.ini", "MZ.exe", "ELF.exe", "folder.exe",
          "dangling.exe", "pipe.exe", "unversioned.exe", "foreign-elf.exe"})
        EXPECT_EQ(FileVersionOf((folder / name).string()), "") << name;
    EXPECT_EQ(FileVersionOf(""), "");
}

TEST(FileVersionOf, SystemPathsWithBackslashesReachTheFile) {
    TempFolder folder;
    std::filesystem::create_directories(folder / "Servidor");
    WriteFile(folder / "Servidor" / "Corvane.EXE", MakeElf({2019, 1, 0, 5}).bytes);
    EXPECT_EQ(FileVersionOf((folder / "Servidor").string() + "\\Corvane.EXE"), "2019.1.0.5");
}

} // namespace
} // namespace corvane
