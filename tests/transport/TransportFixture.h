#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "core/HttpEngine.h"
#include "services/network/NetworkRequest.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {

// A test CA trusted by the HTTP engine for the length of the test, and a leaf for "api.test"
// that also names the loopback addresses the servers listen on.
class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ca_ = std::make_unique<TestCA>(dir_.path());
    leaf_ = ca_->issue("api", {"api.test"}, {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"});
    ASSERT_TRUE(helmsey::HttpEngine::setExtraCertificateAuthority(ca_->certificatePath()));
  }
  void TearDown() override { helmsey::HttpEngine::clearExtraCertificateAuthority(); }

  std::unique_ptr<LoopbackHttpServer> server(const std::string& address = "127.0.0.1") {
    return std::make_unique<LoopbackHttpServer>(leaf_, address);
  }

  static std::shared_ptr<NetworkRequest> get(const std::string& url,
                                             std::optional<std::map<std::string, std::string>> headers = std::nullopt) {
    return std::make_shared<NetworkRequest>(url, HttpMethod::GET, std::nullopt, std::nullopt, std::move(headers),
                                            std::nullopt, std::nullopt);
  }

  // Answers "/status/<n>" with status n and the text "Reason <n>"; everything else 200.
  static CannedReply statusFromPath(const ReceivedRequest& request) {
    const std::string prefix = "/status/";
    if (request.path.rfind(prefix, 0) != 0) return CannedReply::text(200, "ok");
    const int status = std::stoi(request.path.substr(prefix.size()));
    return CannedReply::text(status, "body " + std::to_string(status), "Reason " + std::to_string(status));
  }

  TempDir dir_;
  std::unique_ptr<TestCA> ca_;
  TestCA::Leaf leaf_;
};

}  // namespace tarnel::test
