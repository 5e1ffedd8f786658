// Certificates made on the spot for HTTPS tests.
#pragma once

#include <string>
#include <vector>

namespace corvane::test {

struct TestCertificate {
    std::string certificatePem;
    std::string privateKeyPem;
};

// A self-signed certificate (EC P-256, valid from an hour ago for a day) whose subject
// alternative names are the given DNS names and IP addresses.
TestCertificate MakeSelfSignedCertificate(const std::vector<std::string>& dnsNames,
                                          const std::vector<std::string>& ipAddresses);

} // namespace corvane::test
