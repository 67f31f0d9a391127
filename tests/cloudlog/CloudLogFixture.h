#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/HttpEngine.h"
#include "services/common/Store.h"
#include "services/log/CloudLog.h"
#include "tests/support/LogServiceDouble.h"
#include "tests/support/TestCA.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {

using namespace std::chrono_literals;

inline constexpr const char* kLogHost = "logs.test";

// One kept record as it stands in the settings store, read with plain JSON (not the client's
// own decoding).
struct KeptRecord {
  std::string store;
  std::string topic;
  WireJson log;
};

// The texts under CACHE_LOG; an absent value reads as none.
inline std::vector<std::string> keptTexts() {
  const auto value = Store::getValue(StoreKeys::CACHE_LOG);
  if (!value) return {};
  auto texts = value->stringList();
  EXPECT_TRUE(texts.has_value()) << "CACHE_LOG is not a list of texts";
  return texts.value_or(std::vector<std::string>{});
}

inline std::vector<KeptRecord> keptRecords() {
  std::vector<KeptRecord> out;
  for (const auto& text : keptTexts()) {
    const auto j = WireJson::parse(text, nullptr, false);
    EXPECT_TRUE(j.is_object()) << text;
    if (!j.is_object()) continue;
    EXPECT_TRUE(j.contains("log") && j["log"].is_object() && j.contains("store") && j.contains("topic")) << text;
    out.push_back({j.value("store", ""), j.value("topic", ""), j.value("log", WireJson::object())});
  }
  return out;
}

// A test CA trusted by the HTTP engine, a leaf for the log host on the loopback addresses, and the
// cloud log pointed at `address:port` under the log host's name.
class CloudLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ca_ = std::make_unique<TestCA>(dir_.path());
    leaf_ = ca_->issue("logs", {kLogHost}, {"127.0.0.1", "127.0.0.4"});
    ASSERT_TRUE(helmsey::HttpEngine::setExtraCertificateAuthority(ca_->certificatePath()));
  }

  void TearDown() override {
    EXPECT_TRUE(CloudLog::waitForResendsForTesting(60s));
    CloudLog::setServiceForTesting({});
    helmsey::HttpEngine::clearExtraCertificateAuthority();
  }

  // Starts the log service double and points the cloud log at it.
  LogServiceDouble& startLogs(int port = 0) {
    logs_ = std::make_unique<LogServiceDouble>(leaf_, "127.0.0.4", port);
    CloudLog::setServiceForTesting(kLogHost, logs_->authority());
    return *logs_;
  }

  // log() with a completion, returning what the completion was told (none when it never ran).
  static std::optional<bool> logAndWait(const std::map<std::string, std::string>& fields, LogTopic topic) {
    std::optional<bool> delivered;
    int calls = 0;
    CloudLog::log(fields, topic, [&](bool ok) {
      delivered = ok;
      ++calls;
    });
    EXPECT_EQ(calls, 1) << "the completion runs exactly once, before log returns";
    return delivered;
  }

  TempDir dir_;
  std::unique_ptr<TestCA> ca_;
  TestCA::Leaf leaf_;
  std::unique_ptr<LogServiceDouble> logs_;
};

}  // namespace tarnel::test
