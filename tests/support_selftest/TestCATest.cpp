#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {
namespace {

TEST(TestCA, IssuesLeavesThatVerifyForTheirNamesOnly) {
  TempDir dir;
  TestCA ca(dir.path());
  const auto leaf = ca.issue("api", {"api.test", "localhost"}, {"127.0.0.1"});
  std::string out;
  EXPECT_EQ(runCommand("openssl verify -CAfile '" + ca.certificatePath().string() + "' '" +
                       leaf.certificate.string() + "'", &out), 0) << out;
  EXPECT_EQ(runCommand("openssl x509 -noout -checkhost api.test -in '" + leaf.certificate.string() + "'", &out), 0);
  out.clear();
  runCommand("openssl x509 -noout -checkhost other.test -in '" + leaf.certificate.string() + "'", &out);
  EXPECT_NE(out.find("does NOT match"), std::string::npos) << out;
}

}  // namespace
}  // namespace tarnel::test
