// The store of failed uploads: what is kept, when it is sent again, and that nothing is lost or
// sent twice on the way.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <thread>

#include "platform/UserDefaults.h"
#include "services/network/NetworkRequest.h"
#include "tests/cloudlog/CloudLogFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackHttpServer.h"

namespace tarnel::test {
namespace {

// How often each "seq" value reached the service with a 200.
std::map<std::string, int> deliveredSeqs(const LogServiceDouble& logs) {
  std::map<std::string, int> seen;
  for (const auto& upload : logs.accepted()) ++seen[upload.record.value("seq", "(none)")];
  return seen;
}

std::multiset<std::string> keptSeqs() {
  std::multiset<std::string> seqs;
  for (const auto& kept : keptRecords()) seqs.insert(kept.log.value("seq", "(none)"));
  return seqs;
}

// A loopback port nothing listens on (bound, read back, closed).
int unusedPort(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t length = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TEST_F(CloudLogTest, OnlyA2xxAnswerCountsAsDelivery) {
  auto& logs = startLogs();
  const struct {
    const char* name;
    LogServiceDouble::State state;
  } failures[] = {
      {"answered 500", LogServiceDouble::State::failing},
      {"connection refused", LogServiceDouble::State::refusing},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.name);
    Store::setValue(StoreKeys::CACHE_LOG, std::nullopt);
    logs.setState(f.state);
    EXPECT_EQ(logAndWait({{"seq", f.name}}, LogTopic::ERROR_NODE_PORT_CHECK), false);
    // Kept before the caller heard of the failure.
    const auto kept = keptRecords();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].store, "k-mac");
    EXPECT_EQ(kept[0].topic, "ERROR_NODE_PORT_CHECK");
    EXPECT_EQ(kept[0].log.value("seq", ""), f.name);
    EXPECT_EQ(kept[0].log.value("device_platform", ""), "darwin");
    logs.setState(LogServiceDouble::State::up);
  }
  EXPECT_TRUE(logs.accepted().empty());
}

// A text that is not UTF-8 cannot travel as JSON: such a record is neither sent nor kept, and
// the caller is still told it was not delivered.
TEST_F(CloudLogTest, ARecordThatCannotBeWrittenIsDroppedAndReportedUndelivered) {
  auto& logs = startLogs();
  EXPECT_EQ(logAndWait({{"crash", std::string("bad \xff\xfe byte")}}, LogTopic::CRASH), false);
  EXPECT_TRUE(logs.uploads().empty());
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, FailedUploadIsKeptAndResentByTheNextSuccess) {
  auto& logs = startLogs();
  logs.setState(LogServiceDouble::State::refusing);
  EXPECT_EQ(logAndWait({{"seq", "1"}}, LogTopic::ERROR_API), false);
  logs.setState(LogServiceDouble::State::failing);
  CloudLog::onEvent(EventType::HOME_CONNECT, "on", {{"seq", "2"}});
  CloudLog::addFeedback("it broke", "x@y.test");

  const auto kept = keptRecords();
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(std::make_pair(kept[0].store, kept[0].topic), std::make_pair(std::string("k-mac"), std::string("ERROR_API")));
  EXPECT_EQ(std::make_pair(kept[1].store, kept[1].topic),
            std::make_pair(std::string("event-tracking"), std::string("HOME_CONNECT")));
  EXPECT_EQ(kept[1].log.value("value", ""), "on");
  EXPECT_EQ(std::make_pair(kept[2].store, kept[2].topic),
            std::make_pair(std::string("feedback"), std::string("FEEDBACK_PC")));
  EXPECT_EQ(CloudLog::readCacheLogs().size(), 3u);

  logs.setState(LogServiceDouble::State::up);
  logs.clear();
  EXPECT_EQ(logAndWait({{"seq", "3"}}, LogTopic::ERROR_HTTPDNS), true);
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));

  ASSERT_EQ(logs.accepted().size(), 4u);
  for (const auto& upload : logs.uploads()) EXPECT_TRUE(upload.faults.empty()) << upload.body;
  const auto api = logs.accepted("ERROR_API");
  ASSERT_EQ(api.size(), 1u);
  EXPECT_EQ(api[0].store, "k-mac");
  EXPECT_EQ(api[0].record.value("seq", ""), "1");
  ASSERT_EQ(logs.accepted("HOME_CONNECT").size(), 1u);
  EXPECT_EQ(logs.accepted("HOME_CONNECT")[0].store, "event-tracking");
  EXPECT_EQ(WireJson::parse(logs.accepted("HOME_CONNECT")[0].record.value("msg", "")), (WireJson{{"seq", "2"}}));
  ASSERT_EQ(logs.accepted("FEEDBACK_PC").size(), 1u);
  EXPECT_EQ(logs.accepted("FEEDBACK_PC")[0].store, "feedback");
  EXPECT_EQ(logs.accepted("FEEDBACK_PC")[0].record.value("content", ""), "it broke");
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, RecordsKeptByAnEarlierProcessSurvive) {
  const int port = unusedPort("127.0.0.4");
  // The earlier run: nothing listens yet, so its record is kept.
  const auto child = runInChild([&] {
    CloudLog::setServiceForTesting(kLogHost, "127.0.0.4:" + std::to_string(port));
    bool delivered = true;
    CloudLog::log({{"seq", "earlier"}}, LogTopic::ERROR_API, [&](bool ok) { delivered = ok; });
    return std::string(delivered ? "delivered" : "kept");
  });
  ASSERT_EQ(child.exitCode, 0);
  ASSERT_EQ(child.output, "kept");
  ASSERT_EQ(keptSeqs(), (std::multiset<std::string>{"earlier"}));

  // This run's first failure adds to what is there instead of replacing it.
  auto& logs = startLogs(port);
  logs.setState(LogServiceDouble::State::failing);
  EXPECT_EQ(logAndWait({{"seq", "now"}}, LogTopic::ERROR_API), false);
  const auto kept = keptRecords();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].log.value("seq", ""), "earlier");
  EXPECT_EQ(kept[1].log.value("seq", ""), "now");

  logs.setState(LogServiceDouble::State::up);
  EXPECT_EQ(logAndWait({{"seq", "trigger"}}, LogTopic::ERROR_API), true);
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  EXPECT_EQ(deliveredSeqs(logs), (std::map<std::string, int>{{"earlier", 1}, {"now", 1}, {"trigger", 1}}));
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, ConcurrentFailuresAreAllKept) {
  auto& logs = startLogs();
  logs.setState(LogServiceDouble::State::refusing);
  constexpr int kThreads = 8;
  constexpr int kEach = 6;
  std::multiset<std::string> expected;
  std::vector<std::thread> threads;
  std::atomic<int> reportedFailures{0};
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kEach; ++i) expected.insert(std::to_string(t) + "." + std::to_string(i));
    threads.emplace_back([t, &reportedFailures] {
      for (int i = 0; i < kEach; ++i) {
        CloudLog::log({{"seq", std::to_string(t) + "." + std::to_string(i)}}, LogTopic::ERROR_API,
                      [&](bool ok) { reportedFailures += ok ? 0 : 1; });
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(reportedFailures.load(), kThreads * kEach);
  EXPECT_EQ(keptSeqs(), expected);
}

TEST_F(CloudLogTest, AResendThatFailsKeepsTheRecordOnce) {
  auto& logs = startLogs();
  logs.setState(LogServiceDouble::State::refusing);
  for (const char* seq : {"a", "b", "c"}) CloudLog::log({{"seq", seq}}, LogTopic::ERROR_API);
  const std::multiset<std::string> all{"a", "b", "c"};
  ASSERT_EQ(keptSeqs(), all);

  // A pass against a service that answers 500: everything tried, nothing dropped, nothing doubled.
  logs.setState(LogServiceDouble::State::failing);
  CloudLog::putCacheLog();
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  EXPECT_EQ(logs.uploads().size(), 3u);
  EXPECT_EQ(keptSeqs(), all);

  logs.setState(LogServiceDouble::State::up);
  CloudLog::putCacheLog();
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  EXPECT_EQ(deliveredSeqs(logs), (std::map<std::string, int>{{"a", 1}, {"b", 1}, {"c", 1}}));
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, SuccessesDuringAResendPassSendNothingTwice) {
  auto& logs = startLogs();
  logs.setState(LogServiceDouble::State::refusing);
  std::map<std::string, int> expected;
  for (int i = 0; i < 10; ++i) {
    CloudLog::log({{"seq", "kept" + std::to_string(i)}}, LogTopic::ERROR_API);
    expected["kept" + std::to_string(i)] = 1;
  }
  logs.setState(LogServiceDouble::State::up);

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 5; ++i) expected["new" + std::to_string(t) + "." + std::to_string(i)] = 1;
    threads.emplace_back([t] {
      for (int i = 0; i < 5; ++i) {
        CloudLog::log({{"seq", "new" + std::to_string(t) + "." + std::to_string(i)}}, LogTopic::ERROR_API);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  EXPECT_EQ(deliveredSeqs(logs), expected);
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, StoredTextsThatDoNotDecodeAreSkippedAndDropped) {
  auto& logs = startLogs();
  const std::string valid = R"({"log":{"seq":"stored","app_id":"7"},"store":"k-mac","topic":"CRASH"})";
  Store::setValue(StoreKeys::CACHE_LOG,
                  StoreValue(StoreValue::StringList{"", "not json", valid, R"({"log":{}})", R"({"log":[],"store":"k-mac","topic":"CRASH"})"}));

  const auto read = CloudLog::readCacheLogs();
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0], (CacheLog{{{"seq", "stored"}, {"app_id", "7"}}, "k-mac", "CRASH", std::nullopt}));

  EXPECT_EQ(logAndWait({{"seq", "trigger"}}, LogTopic::ERROR_API), true);
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  const auto crash = logs.accepted("CRASH");
  ASSERT_EQ(crash.size(), 1u);
  EXPECT_EQ(crash[0].store, "k-mac");
  EXPECT_EQ(crash[0].record, (WireJson{{"app_id", "7"}, {"seq", "stored"}}));
  EXPECT_EQ(logs.uploads().size(), 2u);
  EXPECT_TRUE(keptTexts().empty());
}

// A record the service calls malformed would be refused for ever: it is neither kept nor, when
// kept by an earlier build, sent again. Answers that say nothing about the record keep it.
TEST_F(CloudLogTest, RecordsRefusedForGoodAreDropped) {
  LoopbackHttpServer server(leaf_, "127.0.0.1");
  std::mutex mutex;
  int status = 200;
  server.setHandler([&](const ReceivedRequest&) {
    std::lock_guard lock(mutex);
    return CannedReply::text(status, "", "Status");
  });
  CloudLog::setServiceForTesting(kLogHost, "127.0.0.1:" + std::to_string(server.port()));
  const auto answer = [&](int code) {
    std::lock_guard lock(mutex);
    status = code;
  };

  const struct {
    int status;
    bool kept;
  } cases[] = {{400, false}, {403, false}, {404, false}, {413, false}, {408, true},
               {429, true},  {500, true},  {503, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Store::setValue(StoreKeys::CACHE_LOG, std::nullopt);
    answer(c.status);
    EXPECT_EQ(logAndWait({{"seq", "new"}}, LogTopic::ERROR_API), false);
    EXPECT_EQ(keptTexts().size(), c.kept ? 1u : 0u);
  }

  // Kept records meet the same answers when they are sent again.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    Store::setValue(StoreKeys::CACHE_LOG,
                    StoreValue(StoreValue::StringList{R"({"log":{"seq":"old"},"store":"k-mac","topic":"CRASH"})"}));
    answer(c.status);
    CloudLog::putCacheLog();
    ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
    EXPECT_EQ(keptTexts().size(), c.kept ? 1u : 0u);
  }
}

std::string keptText(const std::string& seq, std::optional<std::int64_t> keptAt) {
  WireJson text{{"log", {{"seq", seq}}}, {"store", "k-mac"}, {"topic", "CRASH"}};
  if (keptAt) text["kept_at"] = *keptAt;
  return text.dump();
}

TEST_F(CloudLogTest, KeptRecordsAreBoundedByCountAndAgeOldestFirst) {
  auto& logs = startLogs();
  logs.setState(LogServiceDouble::State::refusing);
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  const std::int64_t tooOld =
      now - std::chrono::duration_cast<std::chrono::milliseconds>(CloudLog::kMaxKeptAge).count() - 60'000;

  // Ages: one past the bound in the middle, one of an older build without a time.
  StoreValue::StringList stored{keptText("undated", std::nullopt)};
  for (std::size_t i = 0; i < 10; ++i) stored.push_back(keptText("fresh-" + std::to_string(i), now - 1000));
  stored.insert(stored.begin() + 5, keptText("stale", tooOld));
  Store::setValue(StoreKeys::CACHE_LOG, StoreValue(stored));
  EXPECT_EQ(logAndWait({{"seq", "latest"}}, LogTopic::ERROR_API), false);
  auto seqs = keptSeqs();
  EXPECT_EQ(seqs.count("stale"), 0u);
  EXPECT_EQ(seqs.count("undated"), 1u);
  EXPECT_EQ(seqs.size(), 12u);

  // Count: filled to the bound, one more pushes out the oldest only.
  stored.clear();
  for (std::size_t i = 0; i < CloudLog::kMaxKeptRecords; ++i) stored.push_back(keptText(std::to_string(i), now - 1000));
  Store::setValue(StoreKeys::CACHE_LOG, StoreValue(stored));
  EXPECT_EQ(logAndWait({{"seq", "latest"}}, LogTopic::ERROR_API), false);
  const auto kept = keptRecords();
  ASSERT_EQ(kept.size(), CloudLog::kMaxKeptRecords);
  EXPECT_EQ(kept.front().log.value("seq", ""), "1");
  EXPECT_EQ(kept.back().log.value("seq", ""), "latest");
}

// Something else wrote a number and a null among the kept texts: the texts survive the next
// addition and are sent again; the foreign entries go.
TEST_F(CloudLogTest, AForeignEntryAmongKeptRecordsDropsOnlyItself) {
  auto& logs = startLogs();
  const std::string first = keptText("first", std::nullopt);
  const std::string second = keptText("second", std::nullopt);
  ASSERT_TRUE(platform::UserDefaults::standard().set(
      std::string(rawValue(StoreKeys::CACHE_LOG)), nlohmann::json::array({first, 5, nullptr, second})));
  EXPECT_EQ(CloudLog::readCacheLogs().size(), 2u);

  logs.setState(LogServiceDouble::State::failing);
  EXPECT_EQ(logAndWait({{"seq", "third"}}, LogTopic::ERROR_API), false);
  EXPECT_EQ(keptSeqs(), (std::multiset<std::string>{"first", "second", "third"}));

  logs.setState(LogServiceDouble::State::up);
  logs.clear();
  EXPECT_EQ(logAndWait({{"seq", "trigger"}}, LogTopic::ERROR_API), true);
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  EXPECT_EQ(deliveredSeqs(logs), (std::map<std::string, int>{{"first", 1}, {"second", 1}, {"third", 1}, {"trigger", 1}}));
  EXPECT_TRUE(keptTexts().empty());
}

// A service that answers a re-sent record only once the caller of the successful upload is
// back: a caller that waited for the resend would see it answered first.
TEST_F(CloudLogTest, ResendsRunOffTheCallersThread) {
  std::mutex mutex;
  std::condition_variable changed;
  bool callerBack = false;
  bool resendAnswered = false;
  LoopbackHttpServer server(leaf_, "127.0.0.1");  // stopped before what its handler uses goes
  server.setHandler([&](const ReceivedRequest& request) {
    if (request.body.find(R"("seq":"held")") != std::string::npos) {
      std::unique_lock lock(mutex);
      // Answered, at the latest, before the client's own time-out would end the exchange: a
      // caller held by the resend is then freed by this answer, after it.
      changed.wait_for(lock, std::chrono::seconds(NetworkRequest::kTimeout) - 1s, [&] { return callerBack; });
      resendAnswered = true;
    }
    return CannedReply::text(200, "");
  });
  CloudLog::setServiceForTesting(kLogHost, "127.0.0.1:" + std::to_string(server.port()));
  Store::setValue(StoreKeys::CACHE_LOG,
                  StoreValue(StoreValue::StringList{R"({"log":{"seq":"held"},"store":"k-mac","topic":"CRASH"})"}));

  bool answeredBeforeReturn = false;
  auto call = std::async(std::launch::async, [&] {
    const auto delivered = logAndWait({{"seq", "now"}}, LogTopic::ERROR_API);
    std::lock_guard lock(mutex);
    answeredBeforeReturn = resendAnswered;
    callerBack = true;
    changed.notify_all();
    return delivered;
  });
  ASSERT_TRUE(server.waitForRequests(2, 30s)) << "the kept record was not sent again";
  EXPECT_EQ(call.get(), true);
  EXPECT_FALSE(answeredBeforeReturn) << "log() waited for the resend";
  ASSERT_TRUE(CloudLog::waitForResendsForTesting(60s));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_NE(server.requests()[1].body.find(R"("seq":"held")"), std::string::npos);
  EXPECT_TRUE(keptTexts().empty());
}

}  // namespace
}  // namespace tarnel::test
