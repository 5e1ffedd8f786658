#include "update/HttpCertificates.h"

#include "platform/FileSystem.h"
#include "update/Errors.h"

#include <climits>
#include <mutex>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace corvane {

namespace {

std::mutex settingLock;
std::string extraCAFileSetting;

} // namespace

void SetExtraCAFile(std::string_view path) {
    std::lock_guard lock(settingLock);
    extraCAFileSetting = std::string(path);
}

std::string ExtraCAFile() {
    std::lock_guard lock(settingLock);
    return extraCAFileSetting;
}

std::shared_ptr<const ExtraCaStore> ExtraCaStore::Load(std::string_view path) {
    const auto fail = [&] {
        return HttpError("REST request failed: Cannot read the certificate authorities in \"" +
                         std::string(path) + "\"");
    };
    std::string pem;
    if (!ReadWholeFile(path, pem) || pem.size() > INT32_MAX)
        throw fail();
    std::shared_ptr<ExtraCaStore> list(new ExtraCaStore());
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    if (!bio)
        throw fail();
    while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr))
        list->certificates_.push_back(certificate);
    ERR_clear_error(); // the loop ends on the "no start line" error at the end of the file
    if (list->certificates_.empty())
        throw fail();
    return list;
}

ExtraCaStore::~ExtraCaStore() {
    for (void* certificate : certificates_)
        X509_free(static_cast<X509*>(certificate));
}

void ExtraCaStore::AddToContext(void* sslContext) const {
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    for (void* certificate : certificates_)
        X509_STORE_add_cert(store, static_cast<X509*>(certificate)); // a duplicate is harmless
    ERR_clear_error();
}

} // namespace corvane
