// Certificates made on the spot for HTTPS tests.
#pragma once

#include <string>
#include <vector>

namespace corvane::test {

struct TTestCertificate {
    std::string CertificatePEM;
    std::string PrivateKeyPEM;
};

// A self-signed certificate (EC P-256, valid from an hour ago for a day) whose subject
// alternative names are the given DNS names and IP addresses.
TTestCertificate MakeSelfSignedCertificate(const std::vector<std::string>& dnsNames,
                                           const std::vector<std::string>& ipAddresses);

} // namespace corvane::test
