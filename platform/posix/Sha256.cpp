// SHA-256 through OpenSSL's EVP interface, which picks the processor's SHA instructions where
// it has them.
#include "platform/Sha256.h"

#include "platform/Errors.h"

#include <openssl/evp.h>

namespace corvane {

struct Sha256::State {
    struct ContextFree {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1)
        throw Exception("SHA-256 could not be set up");
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (size != 0 && EVP_DigestUpdate(state_->context.get(), data, size) != 1)
        throw Exception("SHA-256 could not take the data");
}

Sha256Digest Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 ||
        length != digest.size())
        throw Exception("SHA-256 could not be finished");
    return digest;
}

} // namespace corvane
