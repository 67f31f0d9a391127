// Each protocol code against a node of its kind on loopback: the page arrives through both local
// proxies, by way of the node; a wrong credential gets nothing through.
#include <gtest/gtest.h>

#include <future>

#include "tests/engine/EngineTestKit.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::VPNStatus;

class ProtocolFetch : public testing::TestWithParam<const char*> {};

void stopAndWait() {
  StatusRecorder stopped;
  CoreManager::stopVPN(stopped.callback());
  ASSERT_TRUE(stopped.waitFor(VPNStatus::disconnected));
}

TEST_P(ProtocolFetch, PageArrivesThroughBothProxiesAndWrongCredentialFails) {
  const std::string protocol = GetParam();
  LoopbackWorld world;
  const std::string credential = LoopbackWorld::credentialFor(protocol);
  const auto node = world.node(protocol, credential);
  const std::string url = world.pageUrl("page.test");

  StatusRecorder right;
  CoreManager::startVPN(tunnelConfig(node->port(), protocol, credential), false, false, false, right.callback());
  ASSERT_TRUE(right.waitFor(VPNStatus::connected)) << CoreManager::getLog(helmsey::LogType::core);
  for (const Via via : {Via::httpProxy, Via::socksProxy}) {
    const Fetch page = fetchThroughEngine(url, via, world.ca());
    EXPECT_TRUE(page.ok) << "via " << static_cast<int>(via) << ": " << page.error << "\n" << node->log();
    EXPECT_EQ(page.body, std::string("reached from ") + kNodeSource);
  }
  stopAndWait();

  const std::string wrong = LoopbackWorld::credentialFor(protocol);
  StatusRecorder refused;
  CoreManager::startVPN(tunnelConfig(node->port(), protocol, wrong), false, false, false, refused.callback());
  ASSERT_TRUE(refused.waitFor(VPNStatus::connected));
  // Some servers answer a wrong credential with silence, so both fetches wait side by side; no
  // page may come, so their short wait cannot fail an engine that works.
  auto throughHttp = std::async(std::launch::async, [&] { return fetchThroughEngine(url, Via::httpProxy, world.ca(), 3s); });
  auto throughSocks = std::async(std::launch::async, [&] { return fetchThroughEngine(url, Via::socksProxy, world.ca(), 3s); });
  for (Fetch page : {throughHttp.get(), throughSocks.get()}) {
    EXPECT_FALSE(page.ok) << page.status;
    EXPECT_EQ(page.body.find("reached from"), std::string::npos);
  }
  stopAndWait();
}

INSTANTIATE_TEST_SUITE_P(EveryCode, ProtocolFetch, testing::Values("b", "ts", "d", "e", "f", "g", "c"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace tarnel::test::engine
