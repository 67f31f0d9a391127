#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarnel::test {

// A throw-away certificate authority made at test time with the openssl command line,
// and leaf certificates it signs for loopback servers (names and IP addresses as SANs).
// Production code never trusts it: tests hand its certificate to the code under test
// through that code's own seam.
class TestCA {
 public:
  struct Leaf {
    std::filesystem::path certificate;  // PEM, leaf only
    std::filesystem::path key;          // PEM, unencrypted
  };

  // Creates ca.key and ca.crt in `directory` (which must exist).
  explicit TestCA(std::filesystem::path directory);

  // Issues a server certificate for the given DNS names and IP addresses; `label` names the files.
  Leaf issue(const std::string& label, const std::vector<std::string>& dnsNames,
             const std::vector<std::string>& ipAddresses = {"127.0.0.1"}) const;

  const std::filesystem::path& certificatePath() const { return caCertificate_; }
  const std::filesystem::path& directory() const { return directory_; }

 private:
  std::filesystem::path directory_;
  std::filesystem::path caKey_;
  std::filesystem::path caCertificate_;
};

}  // namespace tarnel::test
