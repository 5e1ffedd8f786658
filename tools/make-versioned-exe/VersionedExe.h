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

enum class PeKind { PE32, PE32Plus };

struct PeOptions {
    PeKind kind = PeKind::PE32;
    // The product version in the fixed block; the file version when not given.
    std::optional<FileVersion> productVersion;
    // Adds resources the reader must pass over: a named type before the numbered ones and an
    // icon type before RT_VERSION.
    bool otherResources = true;
};

// File offsets of a generated PE file.
struct PeLayout {
    size_t peHeader = 0; // "PE\0\0"
    size_t optionalHeader = 0;
    size_t resourceDirectoryEntry = 0; // data directory slot 2: RVA, size
    size_t sectionTable = 0;
    size_t resourceSection = 0; // raw data of .rsrc
    uint32_t resourceRva = 0;
    size_t rootDirectory = 0;
    size_t rootVersionEntry = 0; // the root's entry for RT_VERSION
    size_t versionTypeDirectory = 0;
    size_t versionNameEntry = 0; // its entry for VS_VERSION_INFO
    size_t versionNameDirectory = 0;
    size_t languageEntry = 0; // its entry for the language
    size_t versionDataEntry = 0;
    size_t versionBlock = 0; // VS_VERSIONINFO
};

struct GeneratedPE {
    std::vector<std::byte> bytes;
    PeLayout layout;
};

GeneratedPE MakePE(const FileVersion& version, const PeOptions& options = {});

struct ElfBuildOptions {
    bool is64 = true;
    bool bigEndian = false;
    // Without it the note is only reachable through the section headers.
    bool noteSegment = true;
};

// File offsets of a generated ELF file.
struct ElfLayout {
    size_t programHeaders = 0;
    size_t noteProgramHeader = 0; // 0 without a note segment
    size_t sectionHeaders = 0;
    size_t noteSectionHeader = 0;
    size_t note = 0;
    size_t desc = 0;
};

struct GeneratedElf {
    std::vector<std::byte> bytes;
    ElfLayout layout;
};

// A 64-bit little-endian file is a complete x86-64 program that exits with code 0.
GeneratedElf MakeElf(const FileVersion& version, const ElfBuildOptions& options = {});

// Rewrites the version numbers of an image that carries a version; false when it has none.
bool Restamp(std::vector<std::byte>& image, const FileVersion& version);

// "a.b.c.d" (1 to 4 parts, missing ones 0), each part 0 to 65535.
std::optional<FileVersion> ParseVersion(std::string_view text);

} // namespace corvane::testexe
