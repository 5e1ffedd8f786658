#include "shell/SingleInstancePolicy.h"

#include "platform/Errors.h"
#include "platform/Locale.h"

#include <openssl/evp.h>

#include <filesystem>

namespace corvane {

namespace {

std::string Sha256Hex(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw Exception("SHA-256 is not available");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int index = 0; index < length; ++index) {
        hex += kHex[digest[index] >> 4];
        hex += kHex[digest[index] & 0x0f];
    }
    return hex;
}

} // namespace

std::string InstanceKey(std::string_view executablePath) {
    const std::string normal =
        std::filesystem::path(executablePath).lexically_normal().generic_string();
    // Upper-cased as the system matches file names, the same in every start of one user.
    return "corvane-plexa-" + Sha256Hex(UpperCase(normal)).substr(0, 24);
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
