// What reaches the log service: store, path, headers and body of every kind of record.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <functional>
#include <regex>
#include <set>

#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/Global.h"
#include "tests/cloudlog/CloudLogFixture.h"

namespace tarnel::test {
namespace {

const std::set<std::string> kLogMembers = {"agent",   "app_id", "device_id", "device_model", "device_name",
                                           "device_platform", "network", "dt", "system", "ts", "user_id",
                                           "version"};
const std::set<std::string> kEventMembers = {"agent", "app_id",   "device_id", "device_model", "device_name", "msg",
                                             "network", "platform", "system",  "uid",          "value", "version"};

std::set<std::string> keysOf(const WireJson& object) {
  std::set<std::string> keys;
  for (const auto& [key, value] : object.items()) keys.insert(key);
  return keys;
}

std::set<std::string> with(std::set<std::string> keys, std::initializer_list<std::string> more) {
  keys.insert(more);
  return keys;
}

TEST_F(CloudLogTest, EveryKindOfRecordReachesItsStoreInTheWireFormat) {
  auto& logs = startLogs();
  Global::setUserId("u-1042");
  Global::setNetworkType("WiFi");
  const AppInfo app;

  const struct {
    std::string name;
    std::function<void()> send;
    std::string store;
    std::string topic;
    std::set<std::string> members;
    std::map<std::string, std::string> expected;  // members whose values the case fixes
  } cases[] = {
      {"api error", [] { CloudLog::log({{"path", "lite/users"}, {"err_code", "-1"}}, LogTopic::ERROR_API); },
       "k-mac", "ERROR_API", with(kLogMembers, {"path", "err_code"}),
       {{"path", "lite/users"}, {"err_code", "-1"}, {"user_id", "u-1042"}, {"network", "WiFi"},
        {"device_platform", "darwin"}}},
      // Escapes and multi-byte text: the declared size must count bytes, not characters.
      {"crash text", [] { CloudLog::log({{"crash", "at 0x1\n\"main\" 线程 \\ /"}}, LogTopic::CRASH); }, "k-mac",
       "CRASH", with(kLogMembers, {"crash"}), {{"crash", "at 0x1\n\"main\" 线程 \\ /"}}},
      {"feedback", [] { CloudLog::addFeedback("slow at night", "a@b.test"); }, "feedback", "FEEDBACK_PC",
       with(kLogMembers, {"content", "email"}), {{"content", "slow at night"}, {"email", "a@b.test"}}},
      {"feedback topic through log", [] { CloudLog::log({}, LogTopic::FEEDBACK_PC); }, "feedback", "FEEDBACK_PC",
       kLogMembers, {}},
      {"event", [] { CloudLog::onEvent(EventType::BULLETIN_READED, "7", {{"id", "7"}, {"from", "list"}}); },
       "event-tracking", "BULLETIN_READED", kEventMembers,
       {{"value", "7"}, {"uid", "u-1042"}, {"platform", "darwin"}, {"network", "WiFi"}}},
      {"event without message", [] { CloudLog::onEvent(EventType::HOME_CONNECT, "", {}); }, "event-tracking",
       "HOME_CONNECT", kEventMembers, {{"value", ""}, {"msg", "{}"}}},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto before = logs.uploads().size();
    c.send();
    ASSERT_TRUE(logs.waitForUploads(before + 1, 30s));
    const auto got = logs.uploads().back();
    EXPECT_TRUE(got.faults.empty()) << ::testing::PrintToString(got.faults);
    EXPECT_EQ(got.answeredStatus, 200);
    EXPECT_EQ(got.method, "POST");
    EXPECT_EQ(got.target, "/logstores/" + c.store + "/track");
    EXPECT_EQ(got.host, kLogHost);
    EXPECT_EQ(got.sni, kLogHost);
    EXPECT_EQ(got.headers.at("x-log-apiversion"), "0.6.0");
    EXPECT_EQ(got.headers.at("x-log-bodyrawsize"), std::to_string(got.body.size()));
    EXPECT_EQ(got.topic, c.topic);
    ASSERT_TRUE(got.record.is_object());
    EXPECT_EQ(keysOf(got.record), c.members);
    for (const auto& [key, value] : c.expected) EXPECT_EQ(got.record.value(key, "(absent)"), value) << key;
    EXPECT_EQ(got.record.value("device_id", ""), DeviceInfo::ID());
    EXPECT_EQ(got.record.value("version", ""), app.versionName);
    EXPECT_EQ(got.record.value("system", ""), DeviceInfo::System());
  }

  const auto event = logs.accepted("BULLETIN_READED").at(0).record;
  EXPECT_EQ(WireJson::parse(event.value("msg", "")), (WireJson{{"from", "list"}, {"id", "7"}}));
  EXPECT_TRUE(keptTexts().empty());
}

TEST_F(CloudLogTest, CallerFieldsReplaceCommonMembers) {
  auto& logs = startLogs();
  Global::setUserId("u-1");
  EXPECT_EQ(logAndWait({{"version", "9.9_1"}, {"user_id", "someone"}, {"network", ""}}, LogTopic::EXCEPTION), true);
  ASSERT_EQ(logs.accepted("EXCEPTION").size(), 1u);
  const auto record = logs.accepted("EXCEPTION")[0].record;
  EXPECT_EQ(keysOf(record), kLogMembers);
  EXPECT_EQ(record.value("version", ""), "9.9_1");
  EXPECT_EQ(record.value("user_id", ""), "someone");
  EXPECT_EQ(record.value("network", "(absent)"), "");
}

TEST_F(CloudLogTest, TimeMembersNameTheSameInstant) {
  auto& logs = startLogs();
  using namespace std::chrono;
  const double before = duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
  ASSERT_EQ(logAndWait({}, LogTopic::ERROR_NODE_USABILITY), true);
  const double after = duration<double, std::milli>(system_clock::now().time_since_epoch()).count();

  const auto record = logs.accepted("ERROR_NODE_USABILITY").at(0).record;
  const std::string ts = record.value("ts", "");
  ASSERT_TRUE(std::regex_match(ts, std::regex(R"(\d{13}\.\d+)"))) << ts;
  const double milliseconds = std::stod(ts);
  EXPECT_GE(milliseconds, std::floor(before));
  EXPECT_LE(milliseconds, std::ceil(after));

  const std::time_t seconds = static_cast<std::time_t>(std::floor(milliseconds / 1000.0));
  std::tm parts{};
  localtime_r(&seconds, &parts);
  char expected[32];
  std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &parts);
  EXPECT_EQ(record.value("dt", ""), expected);
}

}  // namespace
}  // namespace tarnel::test
