// The first-success sequence against several loopback servers.
#include <gtest/gtest.h>

#include <chrono>

#include "services/network/Concurrent.h"
#include "tests/transport/TransportFixture.h"

namespace tarnel::test {
namespace {

class ConcurrentTest : public TransportTest {
 protected:
  // Three servers on three loopback addresses, each answering "/status/<n>".
  void SetUp() override {
    TransportTest::SetUp();
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
      servers_.push_back(server(address));
      servers_.back()->setHandler(statusFromPath);
    }
  }

  std::vector<std::shared_ptr<NetworkRequest>> requests(const std::vector<int>& statuses) {
    std::vector<std::shared_ptr<NetworkRequest>> list;
    for (std::size_t i = 0; i < statuses.size(); ++i) {
      list.push_back(get(servers_.at(i)->url() + "/status/" + std::to_string(statuses[i])));
    }
    return list;
  }

  std::vector<std::unique_ptr<LoopbackHttpServer>> servers_;
};

TEST_F(ConcurrentTest, TheEarliestSuccessWinsAndLaterRequestsAreNeverSent) {
  struct Row {
    std::vector<int> statuses;
    std::int64_t index;
    int status;
  };
  // 404 counts as success under the default accepted codes.
  for (const Row& row : {Row{{200}, 0, 200}, Row{{525, 201, 200}, 1, 201}, Row{{404, 200, 200}, 0, 404},
                         Row{{530, 525, 202}, 2, 202}}) {
    SCOPED_TRACE(::testing::PrintToString(row.statuses));
    const std::vector<std::size_t> before = {servers_[0]->requests().size(), servers_[1]->requests().size(),
                                             servers_[2]->requests().size()};
    const auto result = Concurrent::concurrentProcessing(requests(row.statuses));
    ASSERT_TRUE(result.isSuccess());
    EXPECT_EQ(result.index(), row.index);
    EXPECT_EQ(result.response()->statusCode, row.status);
    for (std::size_t s = 0; s < row.statuses.size(); ++s) {
      const std::size_t sent = servers_[s]->requests().size() - before[s];
      EXPECT_EQ(sent, s <= static_cast<std::size_t>(row.index) ? 1u : 0u) << "server " << s;
    }
  }
  // Nothing arrives late from a sequence that has already answered.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(servers_[2]->connectionCount(), 1u);
}

TEST_F(ConcurrentTest, WhenAllFailTheLastErrorIsReported) {
  const auto one = Concurrent::concurrentProcessing(requests({525}));
  ASSERT_FALSE(one.isSuccess());
  EXPECT_EQ(one.index(), 0);
  EXPECT_EQ(one.error()->code, 525);
  EXPECT_EQ(one.error()->domain, "Reason 525");

  const auto three = Concurrent::concurrentProcessing(requests({525, 599, 530}));
  ASSERT_FALSE(three.isSuccess());
  EXPECT_EQ(three.index(), 2);
  EXPECT_EQ(three.error()->code, 530);
  EXPECT_EQ(three.error()->domain, "Reason 530");
  for (const auto& s : servers_) EXPECT_EQ(s->requests().size(), s == servers_[0] ? 2u : 1u);
}

TEST_F(ConcurrentTest, ATransportFailureMovesOnToTheNextRequest) {
  auto list = requests({200, 200});
  servers_[0]->setReply(CannedReply::drop());
  list.insert(list.begin() + 1, nullptr);  // a missing entry fails like a request
  const auto result = Concurrent::concurrentProcessing(list);
  ASSERT_TRUE(result.isSuccess());
  EXPECT_EQ(result.index(), 2);
  EXPECT_EQ(servers_[1]->requests().size(), 1u);
}

TEST_F(ConcurrentTest, AnEmptyListAnswersAtOnce) {
  const auto started = std::chrono::steady_clock::now();
  const auto result = Concurrent::concurrentProcessing({});
  // Without a request there is nothing to wait for, least of all a request's time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(NetworkRequest::kTimeout));
  ASSERT_FALSE(result.isSuccess());
  EXPECT_EQ(result.index(), -1);
  EXPECT_EQ(result.error()->code, Concurrent::kNoRequestCode);
  EXPECT_EQ(result.response(), nullptr);
}

TEST_F(ConcurrentTest, SequencesOnSeveralThreadsDoNotMix) {
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<ConcurrentResult> results(kThreads, ConcurrentResult::failure(-2, {}));
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Thread t finds its first success at position t % 3.
      std::vector<int> statuses = {525, 525, 525};
      statuses[t % 3] = 200 + t;
      results[t] = Concurrent::concurrentProcessing(requests(statuses));
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_TRUE(results[t].isSuccess()) << t;
    EXPECT_EQ(results[t].index(), t % 3);
    EXPECT_EQ(results[t].response()->statusCode, 200 + t);
  }
}

}  // namespace
}  // namespace tarnel::test
