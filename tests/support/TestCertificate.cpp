#include "tests/support/TestCertificate.h"

#include <functional>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace corvane::test {

namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void Check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("making a test certificate: ") + what);
}

std::string ToPEM(const std::function<int(BIO*)>& write) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    Check(bio && write(bio.get()) == 1, "PEM output");
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

void AddExtension(X509* certificate, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    ExtPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    Check(extension && X509_add_ext(certificate, extension.get(), -1) == 1, "extension");
}

} // namespace

TestCertificate MakeSelfSignedCertificate(const std::vector<std::string>& dnsNames,
                                          const std::vector<std::string>& ipAddresses) {
    KeyPtr key(EVP_EC_gen("P-256"));
    Check(key != nullptr, "key");
    CertPtr certificate(X509_new());
    Check(certificate != nullptr, "certificate");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* name = X509_get_subject_name(certificate.get());
    const std::string common = !dnsNames.empty() ? dnsNames.front() : ipAddresses.front();
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Corvane Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common.c_str()), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);

    std::string names;
    for (const auto& dns : dnsNames)
        names += (names.empty() ? "DNS:" : ",DNS:") + dns;
    for (const auto& ip : ipAddresses)
        names += (names.empty() ? "IP:" : ",IP:") + ip;
    AddExtension(certificate.get(), NID_subject_alt_name, names);
    AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(certificate.get(), NID_subject_key_identifier, "hash");
    Check(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "signature");

    TestCertificate result;
    result.certificatePem =
        ToPEM([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); });
    result.privateKeyPem = ToPEM([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return result;
}

} // namespace corvane::test
