#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/UserDefaults.h"
#include "services/common/Store.h"
#include "services/encryption/Encryptor.h"
#include "tests/support/ChildProcess.h"

namespace tarnel {
namespace {

using nlohmann::json;

// The domain file as another program would see it.
json domainOnDisk() {
  EXPECT_TRUE(Store::flush());
  std::ifstream in(platform::UserDefaults::standard().file());
  if (!in) return json::object();
  return json::parse(in);
}

TEST(StoreKeys, RawValuesAreTheExactKeyNames) {
  const std::vector<std::string> expected = {
      "DNS_CACHE",       "USER_ID",          "USER_INFO",        "AREA_ID",       "LANGUAGE",
      "NODE_UPDATE_TIME", "RECONNECT",       "STATUS_ICON",      "SYSTEM_PROXY",  "COMMAND_PROXY",
      "PROXY_RULE",      "CURRENT_NODE",     "SELECTED_NODE",    "CURRENT_COUNTRY", "CURRENT_TAG",
      "SELECTED_PROTOCOL", "HISTORY_ACCOUNT", "EMAIL_SUFFIX",    "TUNNELMODE",    "NOTICE_IDS",
      "MAIN_ROUTE_TIPS", "SMART_ROUTE",      "CHECK_CONNECTION", "RECEIPT",       "IGNORE_VERSION",
      "NODE_VERSION",    "NODES",            "NODE_REFRESH_INTERVAL", "DISCLAIMER_TIME", "DNS_SERVER",
      "DNS_STRATEGY",    "CACHE_LOG",        "CLOSE_EVENT"};
  ASSERT_EQ(kAllStoreKeys.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(rawValue(kAllStoreKeys[i]), expected[i]);
    EXPECT_EQ(storeKeysFromRaw(expected[i]), kAllStoreKeys[i]);
  }
  for (const char* other : {"dns_cache", "Dns_Cache", "DNS_CACHE ", " USER_ID", "", "TUNNEL_MODE"}) {
    EXPECT_EQ(storeKeysFromRaw(other), std::nullopt) << other;
  }
}

TEST(Store, EveryValueShapeRoundTrips) {
  EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID), std::nullopt);

  Store::setValue(StoreKeys::AREA_ID, "asia-east");
  Store::setValue(StoreKeys::LANGUAGE, "");
  Store::setValue(StoreKeys::RECONNECT, true);
  Store::setValue(StoreKeys::NODE_UPDATE_TIME, std::int64_t{1'700'000'000'123});
  Store::setValue(StoreKeys::HISTORY_ACCOUNT, StoreValue::StringList{"a@x.io", "b@y.io"});
  Store::setValue(StoreKeys::NODES, StoreValue::OptionalStringList{R"({"id":1})", std::nullopt});
  Store::setValue(StoreKeys::NOTICE_IDS, StoreValue::IntegerList{3, 5, 8});
  Store::setValue(StoreKeys::CACHE_LOG, StoreValue::StringList{});

  EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID)->string(), "asia-east");
  EXPECT_EQ(Store::getValue(StoreKeys::LANGUAGE)->string(), "");
  const auto reconnect = Store::getValue(StoreKeys::RECONNECT);
  EXPECT_EQ(reconnect->boolean(), true);
  EXPECT_EQ(reconnect->integer(), 1) << "a boolean reads as a number too";
  EXPECT_EQ(reconnect->string(), std::nullopt) << "a reader expecting a text gets its default";
  EXPECT_EQ(Store::getValue(StoreKeys::NODE_UPDATE_TIME)->integer(), 1'700'000'000'123);
  EXPECT_EQ(Store::getValue(StoreKeys::NODE_UPDATE_TIME)->boolean(), std::nullopt);
  EXPECT_EQ(Store::getValue(StoreKeys::HISTORY_ACCOUNT)->stringList(), (StoreValue::StringList{"a@x.io", "b@y.io"}));
  EXPECT_EQ(Store::getValue(StoreKeys::NODES)->optionalStringList(),
            (StoreValue::OptionalStringList{R"({"id":1})", std::nullopt}));
  EXPECT_EQ(Store::getValue(StoreKeys::NODES)->stringList(), std::nullopt);
  EXPECT_EQ(Store::getValue(StoreKeys::NOTICE_IDS)->integerList(), (StoreValue::IntegerList{3, 5, 8}));
  EXPECT_EQ(Store::getValue(StoreKeys::NOTICE_IDS)->stringList(), std::nullopt);
  EXPECT_EQ(Store::getValue(StoreKeys::CACHE_LOG)->stringList(), StoreValue::StringList{});
  EXPECT_EQ(Store::getValue(StoreKeys::CACHE_LOG)->integerList(), StoreValue::IntegerList{});

  // On disk: texts enciphered (the empty text as one padding block), lists and numbers plain.
  const json disk = domainOnDisk();
  EXPECT_EQ(disk["AREA_ID"], sharedEncryptor().encrypt("asia-east").value());
  EXPECT_EQ(disk["LANGUAGE"].get<std::string>().size(), 32u);
  EXPECT_EQ(disk["RECONNECT"], true);
  EXPECT_EQ(disk["HISTORY_ACCOUNT"], json::array({"a@x.io", "b@y.io"}));
  EXPECT_EQ(disk["NODES"], json::parse(R"(["{\"id\":1}", null])"));
  EXPECT_EQ(disk["NOTICE_IDS"], json::array({3, 5, 8}));

  Store::setValue(StoreKeys::AREA_ID, std::nullopt);
  EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID), std::nullopt);
  EXPECT_FALSE(domainOnDisk().contains("AREA_ID"));
}

TEST(Store, SameTextUnderTwoKeysIsTheSameCipherText) {
  Store::setValue(StoreKeys::DNS_SERVER, "auto");
  Store::setValue(StoreKeys::CLOSE_EVENT, "auto");
  const json disk = domainOnDisk();
  EXPECT_EQ(disk["DNS_SERVER"], disk["CLOSE_EVENT"]);
  EXPECT_NE(disk["DNS_SERVER"], "auto");
}

TEST(Store, PlainTextPlacedByAnotherWriterReadsBackUnchanged) {
  auto& domain = platform::UserDefaults::standard();
  ASSERT_TRUE(domain.set("USER_ID", json("plain-user-7")));
  ASSERT_TRUE(domain.set("DNS_STRATEGY", json("abc")));  // hexadecimal-looking but not a cipher text

  testing::internal::CaptureStdout();
  const auto user = Store::getValue(StoreKeys::USER_ID);
  const auto strategy = Store::getValue(StoreKeys::DNS_STRATEGY);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(user->string(), "plain-user-7");
  EXPECT_EQ(strategy->string(), "abc");
  EXPECT_NE(out.find("value isn't hexString"), std::string::npos) << out;
  EXPECT_NE(out.find("decrypt error: "), std::string::npos) << out;

  // Reading repairs nothing; writing through the store enciphers.
  EXPECT_EQ(domainOnDisk()["USER_ID"], "plain-user-7");
  Store::setValue(StoreKeys::USER_ID, "plain-user-7");
  EXPECT_EQ(domainOnDisk()["USER_ID"], sharedEncryptor().encrypt("plain-user-7").value());
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "plain-user-7");
}

TEST(Store, ValueWrittenByAnotherProcessIsSeenByTheNextRead) {
  // This process reads first, so it holds the domain in memory before the other one writes.
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID), std::nullopt);
  Store::setValue(StoreKeys::AREA_ID, "eu");
  ASSERT_TRUE(Store::flush());

  const auto child = test::runInChild([] {
    const std::string seen = Store::getValue(StoreKeys::AREA_ID).value_or("missing").string().value_or("?");
    Store::setValue(StoreKeys::USER_ID, "written-by-child");
    Store::setValue(StoreKeys::SMART_ROUTE, false);
    return Store::flush() ? seen : "not written";
  });
  ASSERT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.output, "eu");

  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "written-by-child");
  EXPECT_EQ(Store::getValue(StoreKeys::SMART_ROUTE)->boolean(), false);
  EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID)->string(), "eu") << "the other process kept our key";

  // And a write from here keeps what the other process wrote.
  Store::setValue(StoreKeys::LANGUAGE, "zh-Hant");
  EXPECT_EQ(domainOnDisk().size(), 4u);
}

TEST(Store, CrashBetweenWriteAndRenameLeavesTheOldFileIntact) {
  Store::setValue(StoreKeys::USER_ID, "before");
  Store::setValue(StoreKeys::NOTICE_IDS, StoreValue::IntegerList{1, 2});
  ASSERT_TRUE(Store::flush());
  const auto child = test::runInChild([] {
    platform::UserDefaults::standard().setBeforeReplaceForTesting([] { ::_exit(42); });
    Store::setValue(StoreKeys::USER_ID, std::string(100'000, 'x'));
    Store::flush();
    return std::string("the write was not interrupted");
  });
  EXPECT_EQ(child.exitCode, 42) << child.output;

  const json disk = domainOnDisk();  // throws (and fails the test) if the file were torn
  EXPECT_EQ(disk.size(), 2u);
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "before");
  EXPECT_EQ(Store::getValue(StoreKeys::NOTICE_IDS)->integerList(), (StoreValue::IntegerList{1, 2}));

  // The writer that comes next is not hindered by what the crashed one left behind.
  Store::setValue(StoreKeys::USER_ID, "after");
  EXPECT_EQ(Store::getValue(StoreKeys::USER_ID)->string(), "after");
}

TEST(Store, ClearAllEmptiesTheWholeDomain) {
  for (const auto key : kAllStoreKeys) Store::setValue(key, std::string(rawValue(key)));
  ASSERT_EQ(domainOnDisk().size(), kAllStoreKeys.size());
  EXPECT_TRUE(Store::clearAll());
  for (const auto key : kAllStoreKeys) EXPECT_EQ(Store::getValue(key), std::nullopt) << rawValue(key);
  EXPECT_TRUE(domainOnDisk().empty());
}

TEST(Store, ThreadsReadAndWriteAtOnce) {
  const std::vector<StoreKeys> keys = {StoreKeys::AREA_ID, StoreKeys::NODE_VERSION, StoreKeys::DNS_SERVER,
                                       StoreKeys::CLOSE_EVENT};
  std::vector<std::thread> threads;
  std::vector<int> torn(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      const StoreKeys key = keys[static_cast<std::size_t>(t) % keys.size()];
      for (int i = 0; i < 25; ++i) {
        Store::setValue(key, "value-" + std::to_string(i));
        const auto read = Store::getValue(key);
        // Another thread may have written the same key meanwhile, but never a broken value.
        if (!read || read->string().value_or("").rfind("value-", 0) != 0) ++torn[static_cast<std::size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(torn, std::vector<int>(8, 0));
  for (const auto key : keys) EXPECT_EQ(Store::getValue(key)->string(), "value-24");
}

TEST(Store, DamagedSettingsFileIsLoggedSetAsideAndOnlyItStartsAfresh) {
  const auto file = platform::UserDefaults::standard().file();
  const auto beside = file.parent_path() / "unrelated.json";
  const auto readAll = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  struct Case {
    const char* what;
    std::function<std::string(const std::string&)> damage;
    const char* setAsideSuffix;
  };
  const Case cases[] = {
      {"cut short mid-write", [](const std::string& good) { return good.substr(0, good.size() / 2); }, ".damaged"},
      {"a value nested 100,000 levels deep",
       [](const std::string&) { return R"({"NODES":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}"; },
       ".damaged-2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Store::setValue(StoreKeys::USER_ID, "user-1");
    Store::setValue(StoreKeys::NOTICE_IDS, StoreValue::IntegerList{4});
    ASSERT_TRUE(Store::flush());
    std::ofstream(beside) << "{\"mine\":1}";
    const std::string bytes = c.damage(readAll(file));
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

    testing::internal::CaptureStdout();
    EXPECT_EQ(Store::getValue(StoreKeys::USER_ID), std::nullopt);
    EXPECT_TRUE(Store::flush());  // the writer sets it aside
    const std::string logged = testing::internal::GetCapturedStdout();
    const auto setAside = std::filesystem::path(file.string() + c.setAsideSuffix);
    EXPECT_NE(logged.find("[Error]"), std::string::npos) << logged;
    EXPECT_NE(logged.find("Settings file damaged"), std::string::npos) << logged;
    EXPECT_NE(logged.find(setAside.string()), std::string::npos) << logged;
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;
    EXPECT_EQ(readAll(setAside), bytes);

    Store::setValue(StoreKeys::AREA_ID, "eu");
    EXPECT_EQ(Store::getValue(StoreKeys::AREA_ID)->string(), "eu");
    EXPECT_EQ(domainOnDisk(), json({{"AREA_ID", domainOnDisk()["AREA_ID"]}}));
    EXPECT_EQ(readAll(beside), "{\"mine\":1}");
  }
  // The first set-aside copy is still the first damage.
  EXPECT_LT(readAll(std::filesystem::path(file.string() + ".damaged")).size(), 1000u);
}

}  // namespace
}  // namespace tarnel
