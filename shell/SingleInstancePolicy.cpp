#include "shell/SingleInstancePolicy.h"

#include "platform/Locale.h"
#include "platform/Utf8Path.h"

#include <cstdint>
#include <filesystem>

namespace corvane {

namespace {

// FNV-1a, 64 bits: the key is a name, not a secret, and comes out the same on every platform
// without a cryptographic library.
std::uint64_t Fnv1a64(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace

std::string InstanceKey(std::string_view executablePath) {
    const std::string normal = Utf8FromPath(PathFromUtf8(executablePath).lexically_normal());
    // Upper-cased as the system matches file names, the same in every start of one user.
    const std::uint64_t hash = Fnv1a64(UpperCase(normal));
    static constexpr char kHex[] = "0123456789abcdef";
    std::string key = "corvane-plexa-";
    for (int shift = 60; shift >= 0; shift -= 4)
        key += kHex[(hash >> shift) & 0x0f];
    return key;
}

std::string HandOverMessage(const std::vector<std::string>& arguments) {
    std::string message;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        if (index > 0)
            message += '\n';
        message += arguments[index];
    }
    message += '\0';
    return message;
}

} // namespace corvane
