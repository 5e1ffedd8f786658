// The file mask of a listing: "*" and "?" wildcards, letter case ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class FileMask {
public:
    // An empty mask matches every name, and so does "*.*": as on the workstations' systems,
    // a name without a dot matches as if it ended with one ("README" matches "*.*" and
    // "*." but not "*.txt").
    explicit FileMask(std::string_view mask);

    // Matches a file name (no folder part) that is already upper-cased with UpperCase.
    bool MatchesUpper(std::string_view upperName) const;

    // The upper-cased mask, the key of cached listings.
    const std::string& Key() const { return key_; }

private:
    std::string key_;
    std::vector<char32_t> pattern_;
    bool matchesNothing_ = false;
    bool matchesAll_ = false;
};

} // namespace corvane
