#include "service/FileMask.h"

#include "platform/Errors.h"
#include "platform/Locale.h"

namespace corvane {

namespace {

// UTF-8 to code points, so that '?' stands for one letter however many bytes it takes.
// Bytes that do not form UTF-8 are kept one by one.
std::vector<char32_t> CodePoints(std::string_view text) {
    std::vector<char32_t> result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (i + extra >= text.size())
            extra = 0;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        result.push_back(cp);
        i += extra + 1;
    }
    return result;
}

// Classic wildcard matching with one backtracking point for the last '*'.
bool Wildcard(const std::vector<char32_t>& pattern, const std::vector<char32_t>& name) {
    size_t p = 0;
    size_t n = 0;
    size_t star = std::string::npos;
    size_t mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

FileMask::FileMask(std::string_view mask) {
    try {
        key_ = mask.empty() ? std::string("*") : UpperCase(mask);
    } catch (const Exception&) {
        matchesNothing_ = true; // not text: no name can match it
        key_ = std::string(mask);
    }
    pattern_ = CodePoints(key_);
    matchesAll_ = !matchesNothing_ && (key_ == "*" || key_ == "*.*");
}

bool FileMask::MatchesUpper(std::string_view upperName) const {
    if (matchesAll_)
        return true;
    if (matchesNothing_)
        return false;
    std::vector<char32_t> name = CodePoints(upperName);
    if (Wildcard(pattern_, name))
        return true;
    if (upperName.find('.') != std::string_view::npos)
        return false;
    name.push_back(U'.');
    return Wildcard(pattern_, name);
}

} // namespace corvane
