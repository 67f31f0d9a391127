#include "tests/support/TestCA.h"

#include <fstream>
#include <stdexcept>

#include "tests/support/ChildProcess.h"

namespace tarnel::test {
namespace {

std::string quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

void mustRun(const std::string& command) {
  std::string output;
  if (runCommand(command + " 2>&1", &output) != 0) {
    throw std::runtime_error("command failed: " + command + "\n" + output);
  }
}

}  // namespace

TestCA::TestCA(std::filesystem::path directory)
    : directory_(std::move(directory)),
      caKey_(directory_ / "ca.key"),
      caCertificate_(directory_ / "ca.crt") {
  mustRun("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
          " -subj '/CN=Tarnel Test CA' -addext 'basicConstraints=critical,CA:TRUE'"
          " -addext 'keyUsage=critical,keyCertSign,cRLSign' -keyout " +
          quote(caKey_) + " -out " + quote(caCertificate_));
}

TestCA::Leaf TestCA::issue(const std::string& label, const std::vector<std::string>& dnsNames,
                           const std::vector<std::string>& ipAddresses) const {
  Leaf leaf{directory_ / (label + ".crt"), directory_ / (label + ".key")};
  const auto request = directory_ / (label + ".csr");
  const auto extensions = directory_ / (label + ".ext");
  std::string san;
  for (const auto& name : dnsNames) san += (san.empty() ? "" : ",") + std::string("DNS:") + name;
  for (const auto& ip : ipAddresses) san += (san.empty() ? "" : ",") + std::string("IP:") + ip;
  {
    std::ofstream ext(extensions);
    ext << "basicConstraints=CA:FALSE\n"
        << "keyUsage=digitalSignature,keyEncipherment\n"
        << "extendedKeyUsage=serverAuth\n";
    if (!san.empty()) ext << "subjectAltName=" << san << "\n";
  }
  const std::string commonName = dnsNames.empty() ? label : dnsNames.front();
  mustRun("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj '/CN=" +
          commonName + "' -keyout " + quote(leaf.key) + " -out " + quote(request));
  mustRun("openssl x509 -req -days 2 -in " + quote(request) + " -CA " + quote(caCertificate_) +
          " -CAkey " + quote(caKey_) + " -CAcreateserial -extfile " + quote(extensions) + " -out " +
          quote(leaf.certificate));
  return leaf;
}

}  // namespace tarnel::test
