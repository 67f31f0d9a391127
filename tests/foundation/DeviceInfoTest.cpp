#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/BundleConfig.h"
#include "platform/Keychain.h"
#include "platform/SystemInfo.h"
#include "services/common/AppInfo.h"
#include "services/common/DeviceInfo.h"
#include "services/common/KeychainManager.h"
#include "services/common/Store.h"
#include "services/model/Json.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

namespace status = platform::keychain_status;
using namespace std::chrono_literals;

// An in-memory keychain that can be slow (to widen race windows), refuse to read, refuse to
// store, or have another process add an item between our search and our add.
class FakeKeychain final : public platform::Keychain {
 public:
  std::chrono::milliseconds delay{0};
  bool failFind = false;
  bool failAdd = false;
  std::optional<std::string> addedByOtherProcessBeforeOurAdd;
  std::atomic<int> adds{0};

  platform::KeychainLookup find(const std::string& server, const std::string& account) override {
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (failFind) return {status::kIO, std::nullopt};
    const auto it = items_.find({server, account});
    if (it == items_.end()) return {status::kItemNotFound, std::nullopt};
    return {status::kSuccess, it->second};
  }
  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    ++adds;
    std::this_thread::sleep_for(delay);
    std::lock_guard lock(mutex_);
    if (addedByOtherProcessBeforeOurAdd) {
      items_[{server, account}] = *addedByOtherProcessBeforeOurAdd;
      addedByOtherProcessBeforeOurAdd.reset();
    }
    if (failAdd) return status::kNotAvailable;
    if (!items_.emplace(std::make_pair(server, account), value).second) return status::kDuplicateItem;
    return status::kSuccess;
  }
  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    return items_.erase({server, account}) == 1 ? status::kSuccess : status::kItemNotFound;
  }
  const char* backendName() const override { return "fake"; }

  std::optional<std::string> stored(const std::string& server) {
    std::lock_guard lock(mutex_);
    const auto it = items_.find({server, "device_id"});
    return it == items_.end() ? std::nullopt : std::optional<std::string>(it->second);
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::string> items_;
};

const std::regex kIdentifierForm("[0-9a-f]{32}");

// What `ask` answers on sixteen threads let go at the same moment, by thread.
std::vector<std::string> askAtOnce(const std::function<std::string()>& ask) {
  constexpr std::size_t kThreads = 16;
  std::latch start(kThreads);
  std::vector<std::string> seen(kThreads);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      seen[t] = ask();
    });
  }
  for (auto& thread : threads) thread.join();
  return seen;
}

TEST(DeviceIdentifier, MadeOnceStoredAndReadBack) {
  auto keychain = std::make_shared<FakeKeychain>();
  KeychainManager manager(keychain, "srv");
  DeviceIdentifier first(manager, "srv");
  const std::string id = first.value();
  EXPECT_TRUE(std::regex_match(id, kIdentifierForm)) << id;
  EXPECT_EQ(keychain->stored("srv"), id);
  EXPECT_EQ(first.value(), id);
  DeviceIdentifier second(manager, "srv");  // as in the next run of the application
  EXPECT_EQ(second.value(), id);
  EXPECT_EQ(keychain->adds.load(), 1);

  // What the keychain holds is the identifier, whatever its form.
  ASSERT_EQ(keychain->add("other", "device_id", "Not-Hex Value"), status::kSuccess);
  EXPECT_EQ(DeviceIdentifier(manager, "other").value(), "Not-Hex Value");
  // Identifiers are random: two keychains never share one.
  EXPECT_NE(DeviceIdentifier(manager, "third").value(), id);
}

TEST(DeviceIdentifier, SixteenThreadsAskingAtOnceGetOneIdentifier) {
  auto keychain = std::make_shared<FakeKeychain>();
  keychain->delay = 5ms;
  KeychainManager manager(keychain, "srv");
  DeviceIdentifier identifier(manager, "srv");
  const auto seen = askAtOnce([&] { return identifier.value(); });
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_EQ(keychain->adds.load(), 1);
  EXPECT_EQ(keychain->stored("srv"), seen[0]);
}

TEST(DeviceIdentifier, KeptInMemoryWhenTheKeychainCannotKeepIt) {
  auto keychain = std::make_shared<FakeKeychain>();
  keychain->failFind = true;
  keychain->failAdd = true;
  KeychainManager manager(keychain, "srv");
  DeviceIdentifier identifier(manager, "srv");
  testing::internal::CaptureStdout();
  const std::string id = identifier.value();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_match(id, kIdentifierForm));
  // The save message, then the log line that says a new device was made and not kept.
  const std::string saveLine = "Error save cer to keychain. Error: " + std::to_string(status::kNotAvailable) + "\n";
  EXPECT_EQ(out.substr(0, saveLine.size()), saveLine);
  const std::regex madeNew("^\\[Warning\\] .*made a new one, " + id + " \\(the keychain did not keep it");
  EXPECT_TRUE(std::regex_search(out.substr(saveLine.size()), madeNew)) << out;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(identifier.value(), id) << "one process, one device";
  EXPECT_EQ(keychain->adds.load(), 1);
}

TEST(DeviceIdentifier, IdentifierAddedByAnotherProcessMeanwhileWins) {
  auto keychain = std::make_shared<FakeKeychain>();
  keychain->addedByOtherProcessBeforeOurAdd = "0000000000000000000000000000beef";
  KeychainManager manager(keychain, "srv");
  testing::internal::CaptureStdout();
  const std::string id = DeviceIdentifier(manager, "srv").value();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(id, "0000000000000000000000000000beef");
  EXPECT_EQ(keychain->stored("srv"), id);
}

TEST(DeviceInfo, IdentifierIsTheSameInEveryProcessAndSurvivesClearingTheSettings) {
  KeychainManager::shared().setKeychainForTesting(platform::makeFileKeychain(platform::defaultKeychainFile()));
  Store::setValue(StoreKeys::USER_ID, "u1");
  const auto first = test::runInChild([] { return DeviceInfo::ID(); });
  ASSERT_EQ(first.exitCode, 0);
  EXPECT_TRUE(std::regex_match(first.output, kIdentifierForm)) << first.output;
  EXPECT_EQ(DeviceInfo::ID(), first.output);

  ASSERT_TRUE(Store::clearAll());
  const auto afterClear = test::runInChild([] { return DeviceInfo::ID(); });
  EXPECT_EQ(afterClear.output, first.output);
  EXPECT_EQ(KeychainManager::shared().flag(), platform::bundle::kBundleIdentifier);
}

TEST(DeviceInfo, SharedIdentifierServesSixteenThreadsWithOneItem) {
  test::TempDir dir;
  const auto file = dir.path() / "keychain.json";
  KeychainManager::shared().setKeychainForTesting(platform::makeFileKeychain(file));
  const auto seen = askAtOnce([] { return DeviceInfo::ID(); });
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_EQ(platform::makeFileKeychain(file)->find(platform::bundle::kBundleIdentifier, "device_id").value, seen[0]);
}

TEST(DeviceInfo, ParametersHoldExactlyTheFiveKeys) {
  test::TempDir dir;
  KeychainManager::shared().setKeychainForTesting(platform::makeFileKeychain(dir.path() / "k.json"));
  const auto parameters = DeviceInfo::parameters();
  std::set<std::string> keys;
  for (const auto& [key, value] : parameters) keys.insert(key);
  EXPECT_EQ(keys, (std::set<std::string>{"device_id", "device_name", "device_model", "platform", "agent"}));
  EXPECT_EQ(parameters.at("platform"), "darwin");
  EXPECT_EQ(DeviceInfo::Platform(), "darwin");
  EXPECT_EQ(parameters.at("device_id"), DeviceInfo::ID());
  EXPECT_EQ(parameters.at("device_name"), DeviceInfo::Name());
  EXPECT_EQ(parameters.at("agent"), platform::bundle::kAgent);
  EXPECT_FALSE(DeviceInfo::Name().empty());
  EXPECT_TRUE(std::regex_match(DeviceInfo::System(), std::regex(R"(\d+\.\d+\.\d+)"))) << DeviceInfo::System();
  const std::string model = DeviceInfo::Model();
  const std::string tail = "_macOS_" + DeviceInfo::System();
  ASSERT_GT(model.size(), tail.size());
  EXPECT_EQ(model.substr(model.size() - tail.size()), tail);
}

TEST(DeviceInfo, HardwareModelNames) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Macmini9,1", "Mac mini (M1)"},
      {"MacPro7,1", "Mac Pro"},
      {"iMac20,1", "iMac 27-Inch"},
      {"MacBookPro18,2", "MacBook Pro 16 (M1 Max)"},
      {"Mac14,3", "Mac mini (M2)"},
      {"Mac15,7", "MacBook Pro 16 (M3 Pro, 12 CPU/18 GPU)"},
      {"Mac14,15", "MacBook Air 15 (M2)"},
      {"MacBookAir9,1", "MacBook Air 13"},
      {"Mac15,11", "MacBook Pro 16 (M3 Max, 14 CPU/30 GPU)"},
      {"ThinkPad X1 Carbon Gen 9", "ThinkPad X1 Carbon Gen 9"},
      {"macmini9,1", "macmini9,1"},
      {"", ""},
  };
  for (const auto& [identifier, name] : cases) EXPECT_EQ(DeviceInfo::modelDisplayName(identifier), name) << identifier;
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << content;
}

TEST(SystemInfo, ReadsTheUsualFilesBelowItsRoot) {
  test::TempDir root;
  const platform::SystemInfo info(root.path());
  EXPECT_EQ(info.hardwareModel(), std::nullopt);
  EXPECT_EQ(info.computerName(), std::nullopt);
  EXPECT_EQ(info.systemVersion(), (std::array<int, 3>{0, 0, 0}));

  writeFile(root.path() / "proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
  writeFile(root.path() / "etc/hostname", "build-box\n");
  writeFile(root.path() / "sys/class/dmi/id/product_name", "Macmini9,1\n");
  EXPECT_EQ(info.systemVersion(), (std::array<int, 3>{6, 1, 0}));
  EXPECT_EQ(info.computerName(), "build-box");
  EXPECT_EQ(info.hardwareModel(), "Macmini9,1");

  writeFile(root.path() / "etc/os-release", "NAME=\"Ubuntu\"\nVERSION_ID=\"22.04\"\nID=ubuntu\n");
  writeFile(root.path() / "etc/machine-info", "ICON_NAME=computer\nPRETTY_HOSTNAME=\"Ann's \\\"Desk\\\"\"\n");
  EXPECT_EQ(info.systemVersion(), (std::array<int, 3>{22, 4, 0}));
  EXPECT_EQ(info.computerName(), "Ann's \"Desk\"");

  writeFile(root.path() / "etc/os-release", "VERSION_ID=12\n");
  EXPECT_EQ(info.systemVersion(), (std::array<int, 3>{12, 0, 0}));
  EXPECT_EQ(platform::parseVersionNumbers("14.2.1"), (std::array<int, 3>{14, 2, 1}));
  EXPECT_EQ(platform::parseVersionNumbers("rolling"), (std::array<int, 3>{0, 0, 0}));
}

TEST(AppInfo, DescribesTheBuild) {
  platform::BundleInfo bundle;
  bundle.shortVersion = "1.2.3";
  bundle.buildVersion = "45";
  bundle.agent = "web";
  bundle.apiAppId = "app-9";
  const AppInfo info(bundle);
  EXPECT_EQ(info.versionName, "1.2.3_45");
  EXPECT_EQ(info.agent, "web");
  EXPECT_EQ(info.appId, "app-9");

  const AppInfo running;
  EXPECT_EQ(running.version, platform::bundle::kShortVersion);
  EXPECT_EQ(running.build, platform::bundle::kBuildVersion);
  EXPECT_EQ(running.versionName, std::string(platform::bundle::kShortVersion) + "_" + platform::bundle::kBuildVersion);

  const auto text = toJson(info);
  ASSERT_TRUE(text);
  EXPECT_EQ(fromJson<AppInfo>(*text), info);
  testing::internal::CaptureStdout();
  EXPECT_EQ(fromJson<AppInfo>(R"({"agent":"a","appId":"b","build":"c","version":"d"})"), std::nullopt);
  testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace tarnel
