// The file version an executable carries: the fixed version block of a PE file's version
// resource, or the version note of our Linux builds. The reader makes no system calls; it
// reads its input through ByteSource, so the same code serves files, memory and the fuzzer.
//
// PE: the resource directory is walked from the root: type RT_VERSION (16), name
// VS_VERSION_INFO (1), the first language. The data must hold a VS_VERSIONINFO block whose
// key is "VS_VERSION_INFO" and whose value is a VS_FIXEDFILEINFO with the signature
// 0xFEEF04BD. The version is the high and low words of dwFileVersionMS, then of
// dwFileVersionLS; the product version is not used.
//
// ELF: our builds carry one note (cmake/CorvaneVersion.cmake stamps it), found through the
// PT_NOTE program headers, or the SHT_NOTE sections when no program header holds it:
//
//   namesz  4 bytes  8
//   descsz  4 bytes  16
//   type    4 bytes  1 (NT_CORVANE_VERSION)
//   name    8 bytes  "Corvane" and a NUL
//   desc   16 bytes  four 32-bit numbers: major, minor, release, build, each 0 to 65535
//
// Every number is in the byte order of the ELF file (EI_DATA); ELF32 and ELF64 files are
// read alike. The note lives in the section ".note.corvane.version", aligned to 4.
//
// Anything truncated, out of bounds, inconsistent or out of range gives no version. The
// reader stops after a fixed number of small reads, so resource directories that point back
// at themselves, huge entry counts or size claims of gigabytes end quickly in no version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvane {

struct FileVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t release = 0;
    uint16_t build = 0;

    friend bool operator==(const FileVersion&, const FileVersion&) = default;
};

// The four numbers joined by "." in full: "2019.1.0.4".
std::string VersionText(const FileVersion& version);

// The bytes of one file or buffer, read by offset.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Fills into with the bytes at offset; false when they are not all inside the source or
    // cannot be read.
    virtual bool ReadAt(uint64_t offset, std::span<std::byte> into) = 0;
};

// How the version numbers are stored where they were found.
enum class VersionEncoding {
    PEFixedFileInfo, // dwFileVersionMS then dwFileVersionLS, little-endian (8 bytes)
    ElfNoteLittle,   // four 32-bit numbers, little-endian (16 bytes)
    ElfNoteBig,      // four 32-bit numbers, big-endian (16 bytes)
};

struct FileVersionLocation {
    FileVersion version;
    uint64_t offset = 0; // of the first byte of the numbers
    VersionEncoding encoding = VersionEncoding::PEFixedFileInfo;
};

constexpr uint32_t kNtCorvaneVersion = 1;
constexpr char kCorvaneNoteOwner[] = "Corvane";

// The version and where its numbers lie, or nothing.
std::optional<FileVersionLocation> LocateFileVersion(ByteSource& source);
std::optional<FileVersionLocation> LocateFileVersion(std::span<const std::byte> bytes);

std::optional<FileVersion> ReadFileVersion(ByteSource& source);
std::optional<FileVersion> ReadFileVersion(std::span<const std::byte> bytes);

} // namespace corvane
