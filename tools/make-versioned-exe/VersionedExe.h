// Executables with a chosen file version, for the tests of the version reader and the
// launcher's self-replacement: a PE file with a version resource, an ELF file with our version
// note, both written from scratch, or a copy of a real executable with its version rewritten.
// The layouts say where each structure lies, so tests can damage one on purpose.
#pragma once

#include "update/VersionInfo.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::testexe {

enum class TPEKind { PE32, PE32Plus };

struct TPEOptions {
    TPEKind Kind = TPEKind::PE32;
    // The product version in the fixed block; the file version when not given.
    std::optional<TFileVersion> ProductVersion;
    // Adds resources the reader must pass over: a named type before the numbered ones and an
    // icon type before RT_VERSION.
    bool OtherResources = true;
};

// File offsets of a generated PE file.
struct TPELayout {
    size_t PEHeader = 0; // "PE\0\0"
    size_t OptionalHeader = 0;
    size_t ResourceDirectoryEntry = 0; // data directory slot 2: RVA, size
    size_t SectionTable = 0;
    size_t ResourceSection = 0; // raw data of .rsrc
    uint32_t ResourceRva = 0;
    size_t RootDirectory = 0;
    size_t RootVersionEntry = 0; // the root's entry for RT_VERSION
    size_t VersionTypeDirectory = 0;
    size_t VersionNameEntry = 0; // its entry for VS_VERSION_INFO
    size_t VersionNameDirectory = 0;
    size_t LanguageEntry = 0; // its entry for the language
    size_t VersionDataEntry = 0;
    size_t VersionBlock = 0; // VS_VERSIONINFO
};

struct TGeneratedPE {
    std::vector<std::byte> Bytes;
    TPELayout Layout;
};

TGeneratedPE MakePE(const TFileVersion& version, const TPEOptions& options = {});

struct TElfOptions {
    bool Is64 = true;
    bool BigEndian = false;
    // Without it the note is only reachable through the section headers.
    bool NoteSegment = true;
};

// File offsets of a generated ELF file.
struct TElfLayout {
    size_t ProgramHeaders = 0;
    size_t NoteProgramHeader = 0; // 0 without a note segment
    size_t SectionHeaders = 0;
    size_t NoteSectionHeader = 0;
    size_t Note = 0;
    size_t Desc = 0;
};

struct TGeneratedElf {
    std::vector<std::byte> Bytes;
    TElfLayout Layout;
};

// A 64-bit little-endian file is a complete x86-64 program that exits with code 0.
TGeneratedElf MakeElf(const TFileVersion& version, const TElfOptions& options = {});

// Rewrites the version numbers of an image that carries a version; false when it has none.
bool Restamp(std::vector<std::byte>& image, const TFileVersion& version);

// "a.b.c.d" (1 to 4 parts, missing ones 0), each part 0 to 65535.
std::optional<TFileVersion> ParseVersion(std::string_view text);

} // namespace corvane::testexe
