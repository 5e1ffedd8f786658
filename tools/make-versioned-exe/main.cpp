// make-versioned-exe: writes executables with a chosen file version for tests.
//
//   make-versioned-exe pe|pe32plus|elf|elf32|elf-be|elf32-be OUTPUT VERSION
//   make-versioned-exe restamp INPUT OUTPUT VERSION
//
// "restamp" copies an executable that carries a version (a PE file's fixed version block or
// our ELF note) with the version rewritten; the copy runs as the original does.
#include "platform/Process.h"
#include "platform/Utf8Path.h"
#include "tools/make-versioned-exe/VersionedExe.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace corvane;
using namespace corvane::testexe;

int Usage() {
    std::cerr << "usage: make-versioned-exe pe|pe32plus|elf|elf32|elf-be|elf32-be OUTPUT VERSION\n"
                 "       make-versioned-exe restamp INPUT OUTPUT VERSION\n";
    return 2;
}

bool WriteExecutable(const std::string& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return false;
    std::error_code error;
    namespace fs = std::filesystem;
    fs::permissions(PathFromUtf8(path),
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    error);
    return !error;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    if (arguments.size() < 3)
        return Usage();
    const std::string& kind = arguments[0];
    const bool restamp = kind == "restamp";
    if (arguments.size() != (restamp ? 4u : 3u))
        return Usage();
    const std::string& output = arguments[restamp ? 2 : 1];
    const std::string& versionText = arguments[restamp ? 3 : 2];
    const auto version = ParseVersion(versionText);
    if (!version) {
        std::cerr << "make-versioned-exe: not a version: " << versionText << '\n';
        return 2;
    }
    std::vector<std::byte> bytes;
    if (restamp) {
        const std::string& input = arguments[1];
        std::ifstream in(PathFromUtf8(input), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), {});
        if (!in && !in.eof()) {
            std::cerr << "make-versioned-exe: cannot read " << input << '\n';
            return 1;
        }
        bytes.resize(content.size());
        std::copy(content.begin(), content.end(), reinterpret_cast<char*>(bytes.data()));
        if (!Restamp(bytes, *version)) {
            std::cerr << "make-versioned-exe: " << input << " carries no version\n";
            return 1;
        }
    } else if (kind == "pe" || kind == "pe32plus") {
        PeOptions options;
        options.kind = kind == "pe" ? PeKind::PE32 : PeKind::PE32Plus;
        bytes = MakePE(*version, options).bytes;
    } else if (kind == "elf" || kind == "elf32" || kind == "elf-be" || kind == "elf32-be") {
        ElfBuildOptions options;
        options.is64 = kind == "elf" || kind == "elf-be";
        options.bigEndian = kind == "elf-be" || kind == "elf32-be";
        bytes = MakeElf(*version, options).bytes;
    } else {
        return Usage();
    }
    if (!WriteExecutable(output, bytes)) {
        std::cerr << "make-versioned-exe: cannot write " << output << '\n';
        return 1;
    }
    return 0;
}
