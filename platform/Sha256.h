// SHA-256 of bytes fed as they arrive, so that a download is checked while it is written and
// never read a second time. The system's own implementation does the work: OpenSSL's EVP on
// Linux (platform/posix/Sha256.cpp), BCrypt on Windows.
//
//   Sha256 hash;
//   hash.Update(data, size);                      // as often as bytes come
//   if (Sha256Hex(hash.Finish()) != listed) ...   // lower-case hex, as the file service lists it
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    // Throws Exception when the system's hashing cannot be set up.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of every byte given since construction. Call once.
    Sha256Digest Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const Sha256Digest& digest);

// The digest written as 64 hexadecimal digits, of either case; nothing for any other text.
std::optional<Sha256Digest> Sha256FromHex(std::string_view text);

} // namespace corvane
