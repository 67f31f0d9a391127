// The pages' cloud-log queue: callers never wait, records leave in the order they came, and
// destruction drains within its bound.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/services/CloudLogQueue.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using tarnel::EventType;
using tarnel::LogTopic;

// What the fake log service was handed, one text per record: "<operation>:<first argument>".
std::vector<std::string> handed(const FakeCloudLogService& service) {
  std::vector<std::string> records;
  for (const auto& call : service.script.calls()) {
    records.push_back(call.operation + ":" + (call.arguments.empty() ? "" : call.arguments.at(0)));
  }
  return records;
}

TEST(CloudLogQueueTest, RecordsOfEveryKindLeaveInTheOrderTheyCame) {
  auto service = std::make_shared<FakeCloudLogService>();
  CloudLogQueue queue(service);
  queue.event(EventType::HOME_CONNECT, "JP");
  queue.log({{"message", "m"}}, LogTopic::EXCEPTION);
  queue.feedback("too slow", "me@example.test");
  queue.event(EventType::NODE_CONNECT, "n-1", {{"k", "v"}});
  queue.log({{"crash Log", "x"}}, LogTopic::CRASH);
  ASSERT_TRUE(queue.flush(30s));
  EXPECT_EQ(handed(*service),
            (std::vector<std::string>{"onEvent:HOME_CONNECT", "log:EXCEPTION", "addFeedback:too slow",
                                      "onEvent:NODE_CONNECT", "log:CRASH"}));
  const auto events = service->script.calls("onEvent");
  EXPECT_EQ(events.at(1), (FakeCall{"onEvent", {"NODE_CONNECT", "n-1", "k=v"}}));
  EXPECT_EQ(queue.pending(), 0u);
}

TEST(CloudLogQueueTest, CallersGoOnWhileTheServiceIsStuck) {
  auto service = std::make_shared<FakeCloudLogService>();
  auto gate = std::make_shared<FakeGate>();
  gate->close();
  service->script.gate("onEvent", gate);
  CloudLogQueue queue(service);
  for (int i = 0; i < 100; ++i) queue.event(EventType::BULLETIN_READED, std::to_string(i));
  // Every call above returned although the first upload has not finished.
  ASSERT_TRUE(gate->waitForVisits(1));
  EXPECT_EQ(queue.pending(), 100u);
  EXPECT_FALSE(queue.flush(50ms));
  gate->open();
  ASSERT_TRUE(queue.flush(30s));
  const auto calls = service->script.calls("onEvent");
  ASSERT_EQ(calls.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(calls[i].arguments.at(1), std::to_string(i));
}

TEST(CloudLogQueueTest, EachProducersRecordsKeepTheirOrder) {
  auto service = std::make_shared<FakeCloudLogService>();
  CloudLogQueue queue(service);
  constexpr int kProducers = 4;
  constexpr int kEach = 200;
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&queue, p] {
      for (int i = 0; i < kEach; ++i) queue.event(EventType::NAVI, std::to_string(p), {{"i", std::to_string(i)}});
    });
  }
  for (auto& producer : producers) producer.join();
  ASSERT_TRUE(queue.flush(30s));
  std::vector<int> next(kProducers, 0);
  const auto calls = service->script.calls("onEvent");
  ASSERT_EQ(calls.size(), static_cast<std::size_t>(kProducers * kEach));
  for (const auto& call : calls) {
    const int p = std::stoi(call.arguments.at(1));
    EXPECT_EQ(call.arguments.at(2), "i=" + std::to_string(next[p]));
    ++next[p];
  }
}

TEST(CloudLogQueueTest, DestructionSendsWhatIsQueuedWithinTheBound) {
  auto service = std::make_shared<FakeCloudLogService>();
  service->script.delay("log", 10ms);
  {
    // A bound only a hang reaches: the twenty records take a fraction of a second.
    CloudLogQueue queue(service, 60s);
    for (int i = 0; i < 20; ++i) queue.log({{"n", std::to_string(i)}}, LogTopic::DEBUG);
  }
  const auto calls = service->script.calls("log");
  ASSERT_EQ(calls.size(), 20u);
  EXPECT_EQ(calls.back().arguments.at(1), "n=19");
}

TEST(CloudLogQueueTest, DestructionGivesUpOnTheRestWhenTheBoundPasses) {
  auto service = std::make_shared<FakeCloudLogService>();
  service->script.delay("onEvent", 100ms);
  const auto started = std::chrono::steady_clock::now();
  {
    CloudLogQueue queue(service, 250ms);
    for (int i = 0; i < 200; ++i) queue.event(EventType::APP_OPEN, std::to_string(i));
    // Destroyed with an upload in flight: its bound, plus that upload, is all it may take;
    // sending the whole queue would take 20 s.
    ASSERT_TRUE(service->script.waitForCalls("onEvent", 1));
  }
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_LT(took, 20s) << "the whole queue was sent";
  const auto calls = service->script.calls("onEvent");
  EXPECT_GT(calls.size(), 0u);
  EXPECT_LT(calls.size(), 200u);
  // What was sent is the oldest part, in order.
  for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].arguments.at(1), std::to_string(i));
}

}  // namespace
}  // namespace lumora
