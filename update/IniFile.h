// Read-only INI file with the rules the configuration relies on, those of the Windows
// profile reader: section and key names without regard to case; only the first section of
// a name counts and, in it, the first key of a name; blanks around names and values are
// dropped; one pair of enclosing quotes (double or single) is dropped; at most 2,047
// characters of a value arrive; a missing file, section or key gives the default.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class IniFile {
public:
    // A value arrives through a buffer of 2,048 UTF-16 units, one of them the terminator.
    static constexpr size_t kMaxValueLength = 2047;

    // Reads the file at once; a file that is missing or cannot be read acts as empty. The
    // file may be UTF-8, UTF-16 with a byte-order mark, or Windows-1252.
    explicit IniFile(std::string_view fileName);

    // Parses text (UTF-8) as the content of an INI file.
    static IniFile FromText(std::string_view text);

    // The value of the key in the section, as UTF-8; defaultValue when there is none.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;

private:
    IniFile() = default;
    void Parse(std::string_view text);

    struct Entry {
        size_t section; // index of the section header the key stands under
        std::string key;
        std::string value;
    };
    std::vector<std::string> sections_;
    std::vector<Entry> entries_;
};

} // namespace corvane
