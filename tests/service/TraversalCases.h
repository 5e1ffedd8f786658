// Download names that try to leave the served root, in every encoding: whoever answers
// /download (the service, or nginx serving an export) refuses each of them.
#pragma once

#include "tests/service/ServiceFixture.h"

#include <string>
#include <utility>

namespace corvane::test {

// The tree the names are tried on: two files, and links that lead out of the root.
inline void PlantTraversalTree(const ServedTree& tree) {
    const fs::path root = tree.Root();
    WriteFile(root / "Morvik.exe", "morvik");
    WriteFile(root / "Relatorio" / "Layout01.rav", "layout 1");
    fs::create_symlink("../secret.txt", root / "outlink");
    fs::create_symlink(tree.Base() / "secret.txt", root / "abslink");
    fs::create_directory_symlink("..", root / "outdir");
}

// "{ABS}" in a case stands for the secret file's absolute path, "{ABS%}" for it with every
// '/' written as %2F.
inline std::string ExpandTraversal(std::string name, const ServedTree& tree) {
    const std::string absolute = (tree.Base() / "secret.txt").string();
    std::string escaped;
    for (const char c : absolute)
        escaped += c == '/' ? std::string("%2F") : std::string(1, c);
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"{ABS%}", escaped}, {"{ABS}", absolute}})
        if (const size_t at = name.find(key); at != std::string::npos)
            name.replace(at, key.size(), value);
    return name;
}

inline const char* const kTraversalNames[] = {
    // Parent folders, plain and escaped, with either separator.
    "..\\secret.txt", "../secret.txt", "..%5Csecret.txt", "..%5csecret.txt", "..%2Fsecret.txt",
    "..%2fsecret.txt", "%2e%2e%5csecret.txt", "%2E%2E%2Fsecret.txt", ".%2e/secret.txt", "..",
    "%2e%2e", "Relatorio%5C..%5C..%5Csecret.txt", "Relatorio/../../secret.txt",
    ".%5C..%5Csecret.txt", "Relatorio%5C%5C..%5Csecret.txt", "Relatorio%5C..%5CMorvik.exe",
    // Escapes of escapes are decoded once: their text names no file.
    "%252e%252e%255csecret.txt", "%252e%252e%252fsecret.txt", "%25252e%25252e%25255csecret.txt",
    "..%255csecret.txt",
    // Absolute, drive and network names.
    "{ABS}", "{ABS%}", "%5C..%5Csecret.txt", "/etc/passwd", "%2Fetc%2Fpasswd", "C:%5Csecret.txt",
    "C%3A..%5Csecret.txt", "c:secret.txt", "%5C%5C127.0.0.1%5Cshare%5Csecret.txt",
    "//127.0.0.1/share/secret.txt",
    // NUL bytes, which would cut the name short in the file system's hands.
    "Morvik.exe%00", "Morvik.exe%00.txt", "%00..%5Csecret.txt", "..%00%5Csecret.txt",
    // Look-alike dots and separators.
    "%c0%ae%c0%ae%5csecret.txt", "%c0%ae%c0%ae/secret.txt", "%e0%80%ae%e0%80%ae/secret.txt",
    "%ef%bc%8e%ef%bc%8e%ef%bc%8fsecret.txt", "%e2%80%a4%e2%80%a4%5csecret.txt",
    // Links that lead out of the root, by their names in any letter case.
    "outlink", "OUTLINK", "abslink", "outdir%5Csecret.txt", "OUTDIR/SECRET.TXT",
    "outdir%5Croot%5CMorvik.exe"};

// Request paths other than the two resources, some of them naming a served file by its path,
// some climbing out of the root: none is answered with a file.
inline const char* const kOtherPathTargets[] = {"/Morvik.exe",
                                                "/Relatorio/Layout01.rav",
                                                "/root/Morvik.exe",
                                                "/download/Morvik.exe",
                                                "/../secret.txt",
                                                "/download/../../secret.txt",
                                                "/%2e%2e/secret.txt",
                                                "/secret.txt",
                                                "/download/..%2F..%2Fsecret.txt"};

} // namespace corvane::test
