#include "Corvane.IniFile.h"

#include "Corvane.Platform.Files.h"

#include <algorithm>

namespace corvane {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// The first max characters (code points) of UTF-8 text, never cutting one in two.
std::string_view FirstCharacters(std::string_view text, size_t max) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {
            if (count == max)
                return text.substr(0, i);
            ++count;
        }
    }
    return text;
}

} // namespace

TIniFile::TIniFile(std::string_view fileName) {
    std::string content;
    if (ReadWholeFile(fileName, content))
        Parse(content);
}

TIniFile TIniFile::FromText(std::string_view text) {
    TIniFile ini;
    ini.Parse(text);
    return ini;
}

void TIniFile::Parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::string section;
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = Trim(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            section = std::string(Trim(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            inSection = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos)
            continue;
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        FEntries.push_back({section, std::string(Trim(line.substr(0, equals))),
                            std::string(FirstCharacters(value, MaxValueLength))});
    }
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    for (const Entry& entry : FEntries)
        if (SameName(entry.Section, section) && SameName(entry.Key, key))
            return entry.Value;
    return std::string(defaultValue);
}

} // namespace corvane
