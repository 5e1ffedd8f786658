// The service over HTTPS: the workstations' own client reaches it through the hospital's
// authority, and a certificate it cannot use stops it before it serves anything.
#include "platform/Errors.h"
#include "tests/service/ServiceFixture.h"
#include "tests/support/TestCertificate.h"
#include "update/FileServiceClient.h"
#include "update/HttpCertificates.h"

#include <gmock/gmock.h>

namespace corvane::test {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

FileServiceOptions HttpsOptions(const ServedTree& tree, const TestCertificate& certificate) {
    FileServiceOptions options;
    options.root = tree.Root().string();
    options.port = 0;
    options.threads = 2;
    options.tlsCertificate = certificate.certificatePem;
    options.tlsKey = certificate.privateKeyPem;
    options.log = [](std::string_view) {};
    return options;
}

TEST(Https, TheUpdatersClientListsAndDownloadsThroughTheHospitalsAuthority) {
    ServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "morvik");
    const TestCertificate certificate = MakeSelfSignedCertificate({"localhost"}, {"127.0.0.1"});
    FileService service(HttpsOptions(tree, certificate));
    const fs::path authority = tree.Base() / "hospital-ca.pem";
    WriteFile(authority, certificate.certificatePem);
    struct Reset {
        ~Reset() { SetExtraCAFile(""); }
    } reset;
    SetExtraCAFile(authority.string());
    const std::string base = "https://127.0.0.1:" + std::to_string(service.Port());

    FileServiceClient list(base);
    ASSERT_TRUE(list.Execute("\\", "*.*", true));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Files()[0].fileName, "Morvik.exe");
    FileDownloadClient download(base);
    const fs::path local = tree.Base() / "Morvik.exe";
    EXPECT_TRUE(download.Download("Morvik.exe", local.string())) << download.Error();
    std::ifstream file(local, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "morvik");

    // Plain HTTP on that port gets no HTTP answer.
    EXPECT_EQ(Get(service.Port(), "/folderlist").status, 0);
}

struct UnusableCase {
    const char* name;
    bool foreignKey;         // the key of another certificate
    const char* certificate; // replaces the certificate's text when not null
    const char* key;         // replaces the key's text when not null
    const char* message;     // part of the exception's message
};

class UnusableCertificate : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableCertificate, IsRefusedBeforeServing) {
    ServedTree tree;
    const TestCertificate certificate = MakeSelfSignedCertificate({}, {"127.0.0.1"});
    FileServiceOptions options = HttpsOptions(tree, certificate);
    const UnusableCase& unusable = GetParam();
    if (unusable.foreignKey)
        options.tlsKey = MakeSelfSignedCertificate({}, {"127.0.0.1"}).privateKeyPem;
    if (unusable.certificate != nullptr)
        options.tlsCertificate = unusable.certificate;
    if (unusable.key != nullptr)
        options.tlsKey = unusable.key;
    EXPECT_THAT([&] { FileService service(options); },
                ThrowsMessage<Exception>(HasSubstr(unusable.message)));
}

INSTANTIATE_TEST_SUITE_P(
    Https, UnusableCertificate,
    ::testing::Values(UnusableCase{"KeyOfAnotherCertificate", true, nullptr, nullptr,
                                   "com o certificado e a chave dados"},
                      UnusableCase{"CertificateNotPem", false, "não é um certificado", nullptr,
                                   "com o certificado e a chave dados"},
                      UnusableCase{"KeyNotPem", false, nullptr, "não é uma chave",
                                   "com o certificado e a chave dados"},
                      UnusableCase{"CertificateWithoutKey", false, nullptr, "",
                                   "precisa do certificado e da chave"},
                      UnusableCase{"KeyWithoutCertificate", false, "", nullptr,
                                   "precisa do certificado e da chave"}),
    [](const ::testing::TestParamInfo<UnusableCase>& param) { return param.param.name; });

} // namespace
} // namespace corvane::test
