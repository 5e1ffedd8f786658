#include "update/IniFile.h"

#include "platform/FileSystem.h"
#include "update/TextTrim.h"

#include <algorithm>

namespace corvane {

namespace {

// The profile reader's blanks: white space and the end-of-file mark of old editors.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' || c == '\x1A';
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiLower(x) == AsciiLower(y);
           });
}

// The longest start of UTF-8 text that fits in max UTF-16 units: a character beyond the
// basic plane takes two, and is never cut in two.
std::string_view FirstUtf16Units(std::string_view text, size_t max) {
    size_t units = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue; // continuation byte of the current character
        const size_t width = c >= 0xF0 ? 2 : 1;
        if (units + width > max)
            return text.substr(0, i);
        units += width;
    }
    return text;
}

std::string_view DropEnclosingQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

IniFile::IniFile(std::string_view fileName) {
    std::string content;
    if (ReadWholeFile(fileName, content))
        Parse(TextFileToUtf8(content));
}

IniFile IniFile::FromText(std::string_view text) {
    IniFile ini;
    ini.Parse(text);
    return ini;
}

void IniFile::Parse(std::string_view text) {
    bool inSection = false;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end), IsBlank);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty())
            continue;
        if (line.front() == '[') {
            // The name runs to the last ']'; a line without one is no header.
            const size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                sections_.emplace_back(Trim(line.substr(1, close - 1), IsBlank));
                inSection = true;
                continue;
            }
        }
        const size_t equals = line.find('=');
        // Lines before the first header and lines without "=" (comments included) hold no
        // value that a lookup can reach.
        if (!inSection || equals == std::string_view::npos)
            continue;
        const std::string_view value = DropEnclosingQuotes(Trim(line.substr(equals + 1), IsBlank));
        entries_.push_back({sections_.size() - 1,
                            std::string(Trim(line.substr(0, equals), IsBlank)),
                            std::string(FirstUtf16Units(value, kMaxValueLength))});
    }
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const auto header = std::find_if(sections_.begin(), sections_.end(),
                                     [&](const auto& name) { return SameName(name, section); });
    if (header == sections_.end())
        return std::string(defaultValue);
    const auto index = static_cast<size_t>(header - sections_.begin());
    for (const Entry& entry : entries_)
        if (entry.section == index && SameName(entry.key, key))
            return entry.value;
    return std::string(defaultValue);
}

} // namespace corvane
