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

using testexe::MakeElf;
using testexe::MakePE;
using testexe::TElfOptions;
using testexe::TGeneratedElf;
using testexe::TGeneratedPE;
using testexe::TPEKind;
using testexe::TPEOptions;
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
        FPath = std::filesystem::temp_directory_path() /
                ("corvane-version-" + std::to_string(::getpid()));
        std::filesystem::create_directories(FPath);
    }
    ~TempFolder() { std::filesystem::remove_all(FPath); }
    std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

// Only the bytes of the version numbers may differ between an executable and its restamped
// copy, and some of them must.
void ExpectOnlyVersionNumbersDiffer(const Bytes& original, const Bytes& copy) {
    ASSERT_EQ(copy.size(), original.size());
    const auto location = LocateFileVersion(copy);
    ASSERT_TRUE(location.has_value());
    const size_t width = location->Encoding == TVersionEncoding::PEFixedFileInfo ? 8 : 16;
    size_t differing = 0;
    for (size_t i = 0; i < copy.size(); ++i)
        if (copy[i] != original[i]) {
            ++differing;
            EXPECT_TRUE(i >= location->Offset && i < location->Offset + width) << "byte " << i;
        }
    EXPECT_GT(differing, 0u);
}

// ---- every format gives back the version it was written with ---------------------------

struct TFormat {
    const char* Name;
    std::function<Bytes(const TFileVersion&)> Make;
    // Where the version numbers end in the file made for 1.2.3.4: no shorter prefix of the
    // file may give a version.
    std::function<size_t()> VersionEnd;
};

TPEOptions PEOptions(TPEKind kind, bool other) {
    TPEOptions options;
    options.Kind = kind;
    options.OtherResources = other;
    return options;
}

TElfOptions ElfOptions(bool is64, bool big, bool segment) {
    TElfOptions options;
    options.Is64 = is64;
    options.BigEndian = big;
    options.NoteSegment = segment;
    return options;
}

TFormat PEFormat(const char* name, TPEOptions options) {
    return {name, [=](const TFileVersion& v) { return MakePE(v, options).Bytes; },
            [=] {
                const auto pe = MakePE({1, 2, 3, 4}, options);
                return pe.Layout.VersionBlock + 92; // the data entry claims the whole block
            }};
}

TFormat ElfFormat(const char* name, TElfOptions options) {
    return {name, [=](const TFileVersion& v) { return MakeElf(v, options).Bytes; },
            [=] {
                return MakeElf({1, 2, 3, 4}, options).Layout.Desc + 16;
            }};
}

const TFormat Formats[] = {
    PEFormat("PE32", PEOptions(TPEKind::PE32, true)),
    PEFormat("PE32Plus", PEOptions(TPEKind::PE32Plus, true)),
    PEFormat("PE32OnlyVersion", PEOptions(TPEKind::PE32, false)),
    ElfFormat("Elf64Little", ElfOptions(true, false, true)),
    ElfFormat("Elf32Little", ElfOptions(false, false, true)),
    ElfFormat("Elf64Big", ElfOptions(true, true, true)),
    ElfFormat("Elf32Big", ElfOptions(false, true, true)),
    ElfFormat("Elf64SectionsOnly", ElfOptions(true, false, false)),
    ElfFormat("Elf32BigSectionsOnly", ElfOptions(false, true, false)),
};

// Parts with distinct high and low bytes catch swapped words and byte orders.
const TFileVersion Versions[] = {
    {2019, 1, 0, 4}, {0, 0, 0, 0}, {65535, 65535, 65535, 65535}, {258, 772, 1286, 1800}};

void PrintTo(const TFormat& format, std::ostream* out) {
    *out << format.Name;
}

class VersionsRead : public ::testing::TestWithParam<std::tuple<TFormat, TFileVersion>> {};

TEST_P(VersionsRead, FromBytesAndFromFile) {
    const auto& [format, version] = GetParam();
    const Bytes bytes = format.Make(version);
    const auto read = ReadFileVersion(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, version);

    TempFolder folder;
    WriteFile(folder / "Corvane.EXE", bytes);
    EXPECT_EQ(FileVersionOf((folder / "Corvane.EXE").string()), VersionText(version));
}

TEST_P(VersionsRead, RestampedCopyCarriesTheNewVersionAndNothingElseChanges) {
    const auto& [format, version] = GetParam();
    const Bytes original = format.Make({9, 8, 7, 6});
    Bytes copy = original;
    ASSERT_TRUE(testexe::Restamp(copy, version));
    EXPECT_EQ(ReadFileVersion(copy), version);
    ExpectOnlyVersionNumbersDiffer(original, copy);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, VersionsRead,
                         ::testing::Combine(::testing::ValuesIn(Formats),
                                            ::testing::ValuesIn(Versions)),
                         [](const auto& p) {
                             const TFileVersion& v = std::get<1>(p.param);
                             return std::string(std::get<0>(p.param).Name) + "_" +
                                    std::to_string(v.Major) + "_" + std::to_string(v.Minor) + "_" +
                                    std::to_string(v.Release) + "_" + std::to_string(v.Build);
                         });

class Truncated : public ::testing::TestWithParam<TFormat> {};

// Every prefix of a file is a file cut short: none may give a version other than the one
// written, and none that ends before the version numbers may give one at all.
TEST_P(Truncated, PrefixesNeverGiveAnotherVersion) {
    const TFormat& format = GetParam();
    const TFileVersion version{1, 2, 3, 4};
    const Bytes whole = format.Make(version);
    const size_t versionEnd = format.VersionEnd();
    for (size_t size = 0; size < whole.size(); ++size) {
        const auto read = ReadFileVersion(std::span(whole).first(size));
        if (size < versionEnd) {
            EXPECT_FALSE(read.has_value()) << "cut at " << size;
        } else if (read) {
            EXPECT_EQ(*read, version) << "cut at " << size;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, Truncated, ::testing::ValuesIn(Formats),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(VersionText, AllFourNumbersInFull) {
    EXPECT_EQ(VersionText({2019, 1, 0, 4}), "2019.1.0.4");
    EXPECT_EQ(VersionText({1, 0, 0, 14}), "1.0.0.14");
    EXPECT_EQ(VersionText({65535, 900, 0, 104}), "65535.900.0.104");
}

TEST(PEVersion, ProductVersionIsNotUsed) {
    TPEOptions options;
    options.ProductVersion = TFileVersion{7, 7, 7, 7};
    EXPECT_EQ(ReadFileVersion(MakePE({2019, 1, 0, 4}, options).Bytes),
              (TFileVersion{2019, 1, 0, 4}));
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

struct TDamage {
    const char* Name;
    std::function<void(Bytes&, const testexe::TPELayout&)> Apply;
};

const TDamage PEDamages[] = {
    {"NoDosSignature", [](Bytes& b, auto&) { Put(b, 0, 'X', 1); }},
    {"PEHeaderPastTheEnd", [](Bytes& b, auto&) { Put(b, 0x3C, b.size() + 16, 4); }},
    {"PEHeaderAtFourGigabytes", [](Bytes& b, auto&) { Put(b, 0x3C, 0xFFFFFFFF, 4); }},
    {"NoPESignature", [](Bytes& b, auto& l) { Put(b, l.PEHeader + 2, 'X', 1); }},
    {"UnknownOptionalHeader", [](Bytes& b, auto& l) { Put(b, l.OptionalHeader, 0x107, 2); }},
    {"OptionalHeaderTooSmallForResources",
     [](Bytes& b, auto& l) { Put(b, l.PEHeader + 4 + 16, 100, 2); }},
    // NumberOfRvaAndSizes comes just before the data directories; resources are the third.
    {"OnlyTwoDataDirectories",
     [](Bytes& b, auto& l) { Put(b, l.ResourceDirectoryEntry - 16 - 4, 2, 4); }},
    {"NoResourceDirectory", [](Bytes& b, auto& l) { Put(b, l.ResourceDirectoryEntry, 0, 4); }},
    {"ResourcesOutsideEverySection",
     [](Bytes& b, auto& l) { Put(b, l.ResourceDirectoryEntry, 0x9000, 4); }},
    {"NoSections", [](Bytes& b, auto& l) { Put(b, l.PEHeader + 4 + 2, 0, 2); }},
    {"SixtyFiveThousandSections", [](Bytes& b, auto& l) { Put(b, l.PEHeader + 4 + 2, 0xFFFF, 2); }},
    {"SectionDataPastTheEnd",
     [](Bytes& b, auto& l) { Put(b, l.SectionTable + 20, 0xFFFFF000, 4); }},
    {"SectionOfFourGigabytes",
     [](Bytes& b, auto& l) {
         Put(b, l.SectionTable + 16, 0xFFFFFFFF, 4);
         b.resize(l.VersionBlock + 60); // and the file ends inside the version block
     }},
    {"NoVersionType", [](Bytes& b, auto& l) { Put(b, l.RootVersionEntry, 17, 4); }},
    {"VersionTypeIsALeaf",
     [](Bytes& b, auto& l) {
         Put(b, l.RootVersionEntry + 4, l.VersionDataEntry - l.ResourceSection, 4);
     }},
    {"NoVersionInfoName", [](Bytes& b, auto& l) { Put(b, l.VersionNameEntry, 2, 4); }},
    {"NoLanguage", [](Bytes& b, auto& l) { Put(b, l.VersionNameDirectory + 14, 0, 2); }},
    {"VersionTypePointsBackAtTheRoot",
     [](Bytes& b, auto& l) { Put(b, l.RootVersionEntry + 4, 0x80000000, 4); }},
    {"NameEntryPointsBackAtItsOwnDirectory",
     [](Bytes& b, auto& l) {
         Put(b, l.VersionNameEntry + 4, 0x80000000 | (l.VersionTypeDirectory - l.ResourceSection),
             4);
     }},
    {"LanguageEntryPointsBackAtTheRoot",
     [](Bytes& b, auto& l) { Put(b, l.LanguageEntry + 4, 0x80000000, 4); }},
    {"DirectoryPastTheEnd",
     [](Bytes& b, auto& l) { Put(b, l.RootVersionEntry + 4, 0x80000000 | 0x7FFFFFF0, 4); }},
    {"DirectoryClaimsAllEntries",
     [](Bytes& b, auto& l) {
         Put(b, l.RootDirectory + 12, 0xFFFF, 2);
         Put(b, l.RootDirectory + 14, 0xFFFF, 2);
     }},
    {"DataEntryOutsideTheSection",
     [](Bytes& b, auto& l) { Put(b, l.LanguageEntry + 4, 0x7FFFFFF0, 4); }},
    {"DataOfFourGigabytes",
     [](Bytes& b, auto& l) { Put(b, l.VersionDataEntry + 4, 0xFFFFFFFF, 4); }},
    {"DataClaimsMoreThanTheFile",
     [](Bytes& b, auto& l) {
         Put(b, l.SectionTable + 16, 0xFFFFFFFF, 4); // a section as large as it likes
         Put(b, l.VersionDataEntry + 4, 0x10000000, 4);
     }},
    {"DataSmallerThanTheFixedBlock",
     [](Bytes& b, auto& l) { Put(b, l.VersionDataEntry + 4, 60, 4); }},
    {"DataOutsideEverySection", [](Bytes& b, auto& l) { Put(b, l.VersionDataEntry, 0x5000, 4); }},
    {"DataRunsPastTheSection",
     [](Bytes& b, auto& l) { Put(b, l.VersionDataEntry, l.ResourceRva + 0x200 - 40, 4); }},
    {"BlockShorterThanTheFixedBlock", [](Bytes& b, auto& l) { Put(b, l.VersionBlock, 60, 2); }},
    {"BlockLongerThanItsData", [](Bytes& b, auto& l) { Put(b, l.VersionBlock, 0xFFFF, 2); }},
    {"NoFixedBlock", [](Bytes& b, auto& l) { Put(b, l.VersionBlock + 2, 0, 2); }},
    {"FixedBlockLongerThanTheBlock", [](Bytes& b, auto& l) { Put(b, l.VersionBlock + 2, 60, 2); }},
    {"WrongKey", [](Bytes& b, auto& l) { Put(b, l.VersionBlock + 6 + 2 * 14, 'X', 2); }},
    {"WrongSignature", [](Bytes& b, auto& l) { Put(b, l.VersionBlock + 40, 0xFEEF04BE, 4); }},
    {"CutInsideTheFixedBlock", [](Bytes& b, auto& l) { b.resize(l.VersionBlock + 60); }},
};

void PrintTo(const TDamage& damage, std::ostream* out) {
    *out << damage.Name;
}

class DamagedPE : public ::testing::TestWithParam<TDamage> {};

TEST_P(DamagedPE, GivesNoVersion) {
    for (TPEKind kind : {TPEKind::PE32, TPEKind::PE32Plus}) {
        TGeneratedPE pe = MakePE({2019, 1, 0, 4}, PEOptions(kind, true));
        ASSERT_TRUE(ReadFileVersion(pe.Bytes).has_value());
        GetParam().Apply(pe.Bytes, pe.Layout);
        EXPECT_EQ(ReadFileVersion(pe.Bytes), std::nullopt)
            << (kind == TPEKind::PE32 ? "PE32" : "PE32+");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedPE, ::testing::ValuesIn(PEDamages),
                         [](const auto& p) { return std::string(p.param.Name); });

struct TElfDamage {
    const char* Name;
    TElfOptions Options;
    std::function<void(Bytes&, const testexe::TElfLayout&, bool big)> Apply;
};

const TElfOptions Elf64 = ElfOptions(true, false, true);
const TElfOptions Elf32Big = ElfOptions(false, true, true);
const TElfOptions Elf64SectionsOnly = ElfOptions(true, false, false);

const TElfDamage ElfDamages[] = {
    {"UnknownClass", Elf64, [](Bytes& b, auto&, bool) { Put(b, 4, 3, 1); }},
    {"UnknownByteOrder", Elf64, [](Bytes& b, auto&, bool) { Put(b, 5, 0, 1); }},
    {"CutInsideTheHeader", Elf64, [](Bytes& b, auto&, bool) { b.resize(40); }},
    {"ProgramHeadersPastTheEnd", Elf64,
     [](Bytes& b, auto&, bool) { Put(b, 32, 0xFFFFFFFFFFFFFF00, 8); }},
    {"ProgramHeaderEntriesTooSmall", Elf64, [](Bytes& b, auto&, bool) { Put(b, 54, 8, 2); }},
    {"ProgramHeaderTableOverflows", Elf64,
     [](Bytes& b, auto&, bool) {
         Put(b, 32, 0xFFFFFFFFFFFFFFF0, 8);
         Put(b, 56, 0xFFFF, 2);
     }},
    {"NoteSegmentPastTheEnd", Elf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.NoteProgramHeader + 8, b.size() - 8, 8); }},
    {"NoteSegmentOfGigabytes", Elf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.NoteProgramHeader + 32, 0xFFFFFFFF00000000, 8); }},
    {"NoteSegmentEndOverflows", Elf64,
     [](Bytes& b, auto& l, bool) {
         Put(b, l.NoteProgramHeader + 8, 0xFFFFFFFFFFFFFFF0, 8);
         Put(b, l.NoteProgramHeader + 32, 0x20, 8);
     }},
    {"NoteSegment32PastTheEnd", Elf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.NoteProgramHeader + 16, 0xFFFFFFF0, 4, big); }},
    {"NameOfFourGigabytes", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Note, 0xFFFFFFFF, 4); }},
    {"DescOfFourGigabytes", Elf64,
     [](Bytes& b, auto& l, bool) { Put(b, l.Note + 4, 0xFFFFFFFF, 4); }},
    {"DescTooShort", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Note + 4, 8, 4); }},
    {"DescTooShortBig", Elf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.Note + 4, 12, 4, big); }},
    {"OtherOwner", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Note + 12 + 6, 'f', 1); }},
    {"OwnerWithoutItsNul", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Note + 12 + 7, 'x', 1); }},
    {"OtherType", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Note + 8, 2, 4); }},
    {"PartOverSixteenBits", Elf64, [](Bytes& b, auto& l, bool) { Put(b, l.Desc + 4, 0x10000, 4); }},
    {"PartOverSixteenBitsBig", Elf32Big,
     [](Bytes& b, auto& l, bool big) { Put(b, l.Desc + 12, 0x10000, 4, big); }},
    {"CutInsideTheNote", Elf64, [](Bytes& b, auto& l, bool) { b.resize(l.Desc + 8); }},
    {"SectionHeadersPastTheEnd", Elf64SectionsOnly,
     [](Bytes& b, auto&, bool) { Put(b, 40, 0x7FFFFFFFFFFFFFFF, 8); }},
    {"NoteSectionOfGigabytes", Elf64SectionsOnly,
     [](Bytes& b, auto& l, bool) { Put(b, l.NoteSectionHeader + 32, 0x100000000, 8); }},
    {"NoNoteSection", Elf64SectionsOnly,
     [](Bytes& b, auto& l, bool) { Put(b, l.NoteSectionHeader + 4, 1, 4); }},
};

void PrintTo(const TElfDamage& damage, std::ostream* out) {
    *out << damage.Name;
}

class DamagedElf : public ::testing::TestWithParam<TElfDamage> {};

TEST_P(DamagedElf, GivesNoVersion) {
    const TElfDamage& damage = GetParam();
    TGeneratedElf elf = MakeElf({2019, 1, 0, 4}, damage.Options);
    ASSERT_TRUE(ReadFileVersion(elf.Bytes).has_value());
    damage.Apply(elf.Bytes, elf.Layout, damage.Options.BigEndian);
    EXPECT_EQ(ReadFileVersion(elf.Bytes), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedElf, ::testing::ValuesIn(ElfDamages),
                         [](const auto& p) { return std::string(p.param.Name); });

TEST(ElfNotes, NotesBeforeOursArePassedOver) {
    // A foreign note ahead of ours in the same segment, as the build-id note is.
    TGeneratedElf elf = MakeElf({2019, 1, 0, 4});
    const size_t note = elf.Layout.Note;
    Bytes foreign(16);
    Put(foreign, 0, 4, 4); // namesz "GNU\0"
    Put(foreign, 4, 0, 4); // descsz
    Put(foreign, 8, 3, 4); // type
    Put(foreign, 12, 0x00554E47, 4);
    elf.Bytes.insert(elf.Bytes.begin() + static_cast<std::ptrdiff_t>(note), foreign.begin(),
                     foreign.end());
    // Everything after the insertion moved by 16: the section headers and the segment size.
    Put(elf.Bytes, 40, elf.Layout.SectionHeaders + 16, 8);
    Put(elf.Bytes, elf.Layout.NoteProgramHeader + 32, 36 + 16, 8);
    EXPECT_EQ(ReadFileVersion(elf.Bytes), (TFileVersion{2019, 1, 0, 4}));
}

// In a segment aligned to 8 (as the GNU property notes are) names and descriptions are padded
// to 8 bytes: a foreign note with a 12-byte description takes 32 bytes, not 28, and our
// numbers begin 24 bytes into our note.
TEST(ElfNotes, NotesOfASegmentAlignedToEight) {
    TGeneratedElf elf = MakeElf({2019, 1, 0, 4});
    Bytes& b = elf.Bytes;
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
    Put(b, ours + 8, NT_CORVANE_VERSION, 4);
    std::copy_n(reinterpret_cast<const std::byte*>(CorvaneNoteOwner), 8, b.begin() + ours + 12);
    for (size_t i = 0; i < 4; ++i)
        Put(b, ours + 24 + 4 * i, 10 + i, 4);
    const size_t ph = elf.Layout.NoteProgramHeader;
    Put(b, ph + 8, region, 8);
    Put(b, ph + 32, 72, 8);
    Put(b, ph + 48, 8, 8);
    const auto location = LocateFileVersion(b);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->Version, (TFileVersion{10, 11, 12, 13}));
    EXPECT_EQ(location->Offset, ours + 24);
}

// Sixty-five thousand note segments over one megabyte of empty notes: read one by one that is
// billions of notes. The reader gives up after its fixed number of reads.
TEST(DamagedElf, EndlessNoteSegmentsEndInNoVersion) {
    TGeneratedElf elf = MakeElf({2019, 1, 0, 4});
    Bytes& b = elf.Bytes;
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
class TCountingSource : public TByteSource {
public:
    TCountingSource(Bytes head, uint64_t tailOffset, Bytes tail)
        : FHead(std::move(head)), FTailOffset(tailOffset), FTail(std::move(tail)) {}
    uint64_t Size() const override { return FTailOffset + FTail.size(); }
    bool ReadAt(uint64_t offset, std::span<std::byte> into) override {
        if (offset > Size() || into.size() > Size() - offset)
            return false;
        BytesRead += into.size();
        for (size_t i = 0; i < into.size(); ++i) {
            const uint64_t at = offset + i;
            into[i] = at < FHead.size()   ? FHead[at]
                      : at >= FTailOffset ? FTail[at - FTailOffset]
                                          : std::byte{0};
        }
        return true;
    }
    uint64_t BytesRead = 0;

private:
    Bytes FHead;
    uint64_t FTailOffset;
    Bytes FTail;
};

TEST(LargeFile, OnlyThePiecesTheReaderNeedsAreRead) {
    TGeneratedPE pe = MakePE({2019, 1, 0, 4});
    const uint64_t farAway = 0xFFFFF000 - 0x1000;
    const size_t section = pe.Layout.ResourceSection;
    Bytes tail(pe.Bytes.begin() + static_cast<std::ptrdiff_t>(section), pe.Bytes.end());
    pe.Bytes.resize(section);
    Put(pe.Bytes, pe.Layout.SectionTable + 20, farAway, 4);
    TCountingSource source(pe.Bytes, farAway, tail);
    EXPECT_EQ(ReadFileVersion(source), (TFileVersion{2019, 1, 0, 4}));
    EXPECT_LT(source.BytesRead, 1024u);
}

TEST(LargeFile, SparseFileOnDiskIsReadByOffset) {
    TGeneratedPE pe = MakePE({2019, 1, 0, 4});
    const uint64_t farAway = 0xC0000000; // three gigabytes, never written
    const size_t section = pe.Layout.ResourceSection;
    Bytes tail(pe.Bytes.begin() + static_cast<std::ptrdiff_t>(section), pe.Bytes.end());
    pe.Bytes.resize(section);
    Put(pe.Bytes, pe.Layout.SectionTable + 20, farAway, 4);
    TempFolder folder;
    const auto path = folder / "Corvane.EXE";
    WriteFile(path, pe.Bytes);
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
        TGeneratedElf elf = MakeElf({1, 0, 0, 0});
        Put(elf.Bytes, elf.Layout.Note + 8, 3, 4);
        WriteFile(folder / "foreign-elf.exe", elf.Bytes);
    }
    {
        TGeneratedPE pe = MakePE({1, 0, 0, 0});
        Put(pe.Bytes, pe.Layout.RootVersionEntry, 17, 4);
        WriteFile(folder / "unversioned.exe", pe.Bytes);
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
    WriteFile(folder / "Servidor" / "Corvane.EXE", MakeElf({2019, 1, 0, 5}).Bytes);
    EXPECT_EQ(FileVersionOf((folder / "Servidor").string() + "\\Corvane.EXE"), "2019.1.0.5");
}

} // namespace
} // namespace corvane
