// Read-only INI file with the rules the configuration relies on: section and key names
// without regard to case, the first occurrence wins, one pair of enclosing quotes dropped,
// at most 2,047 characters of a value, the default for a missing file, section or key.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class TIniFile {
public:
    static constexpr size_t MaxValueLength = 2047;

    // Reads the file at once; a file that is missing or cannot be read acts as empty.
    explicit TIniFile(std::string_view fileName);

    // Parses text as the content of an INI file.
    static TIniFile FromText(std::string_view text);

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;

private:
    TIniFile() = default;
    void Parse(std::string_view text);

    struct Entry {
        std::string Section;
        std::string Key;
        std::string Value;
    };
    std::vector<Entry> FEntries;
};

} // namespace corvane
