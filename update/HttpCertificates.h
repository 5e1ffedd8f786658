// Certificate authorities that HTTPS answers may chain to besides the system's own: a PEM
// file named by the "ca" key of section "Servidor", for hospitals with their own authority.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The process-wide extra authority file; empty for none. The launcher and corvane-update set
// it once at start from their configuration; every later HTTPS exchange trusts it.
void SetExtraCAFile(std::string_view path);
std::string ExtraCAFile();

// The certificates of one PEM file, ready to be added to a TLS context.
class ExtraCaStore {
public:
    // Reads every certificate of the file. Throws HttpError
    // "REST request failed: Cannot read the certificate authorities in \"%s\"" when the file
    // cannot be read or holds no certificate.
    static std::shared_ptr<const ExtraCaStore> Load(std::string_view path);

    ~ExtraCaStore();
    ExtraCaStore(const ExtraCaStore&) = delete;
    ExtraCaStore& operator=(const ExtraCaStore&) = delete;

    // Adds the certificates to the trust store of an OpenSSL SSL_CTX.
    void AddToContext(void* sslContext) const;

    size_t Count() const { return certificates_.size(); }

private:
    ExtraCaStore() = default;
    std::vector<void*> certificates_; // X509*, owned
};

} // namespace corvane
