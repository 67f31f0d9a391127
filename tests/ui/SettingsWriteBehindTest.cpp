// The settings as the pages write them, through the real store: the GUI thread never touches the
// file, and a burst of changes reaches it in a few writes holding the last values.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"
#include "services/common/Store.h"
#include "services/encryption/Encryptor.h"
#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/SettingsWriteCheck.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/AppStateManager.h"

namespace lumora {
namespace {

using nlohmann::json;

// Every change of the settings file, and how many of them the GUI thread made.
class SettingsFileChanges {
 public:
  SettingsFileChanges() {
    platform::setFileChangeObserverForTesting(
        [this, file = platform::UserDefaults::standard().file()](platform::FileChange change,
                                                                 const std::filesystem::path& about) {
          if (about != file) return;
          std::lock_guard lock(mutex_);
          if (change == platform::FileChange::rename) ++replaced_;
          if (test::onGuiThread()) ++onGui_;
          ++all_;
        });
  }
  ~SettingsFileChanges() { test::failOnGuiThreadSettingsWrites(); }

  int replaced() const {
    std::lock_guard lock(mutex_);
    return replaced_;
  }
  int onGui() const {
    std::lock_guard lock(mutex_);
    return onGui_;
  }
  int all() const {
    std::lock_guard lock(mutex_);
    return all_;
  }

 private:
  mutable std::mutex mutex_;
  int replaced_ = 0;
  int onGui_ = 0;
  int all_ = 0;
};

json settingsOnDisk() {
  std::ifstream in(platform::UserDefaults::standard().file());
  if (!in) return json::object();
  return json::parse(in, nullptr, false);
}

std::string sealed(const std::string& text) { return tarnel::sharedEncryptor().encrypt(text).value(); }

class SettingsWriteBehindTest : public ::testing::Test {
 protected:
  std::unique_ptr<AppStateManager> make() {
    Services services = fakes.services();
    services.settings = makeRealSettingsStore();
    return std::make_unique<AppStateManager>(services, AppStateOptions{}, nullptr);
  }

  FakeServices fakes;
};

TEST_F(SettingsWriteBehindTest, NoSettingsFileWriteRunsOnTheGuiThread) {
  SettingsFileChanges changes;
  auto state = make();  // a first start writes every setting with its default
  state->setReconnect(true);
  state->setSystemProxy(true);
  state->setSmartRoute(false);
  state->setCheckConnection(false);
  state->setStatus(false);
  state->setShowRouteTips(true);
  state->setDns(QStringLiteral("1.1.1.1"));
  state->setCloseEvent(QStringLiteral("exit"));
  state->setNoticesReadIds({4, 9});
  // The file gets there by itself, without anyone waiting for it.
  ASSERT_TRUE(test::waitFor([] {
    const json disk = settingsOnDisk();
    return disk.value("CLOSE_EVENT", json()) == sealed("exit") && disk.value("NOTICE_IDS", json()) == json({4, 9});
  }));
  EXPECT_EQ(settingsOnDisk().value("SMART_ROUTE", json()), false);
  EXPECT_GT(changes.all(), 0);
  EXPECT_EQ(changes.onGui(), 0);
}

TEST_F(SettingsWriteBehindTest, AHundredSettingChangesMakeAFewWritesAndTheFileHoldsTheLastValues) {
  auto state = make();
  ASSERT_TRUE(tarnel::Store::flush());
  SettingsFileChanges changes;
  for (int i = 0; i < 100; ++i) {
    switch (i % 5) {
      case 0:
        state->setReconnect(i % 2 == 0);
        break;
      case 1:
        state->setSystemProxy(i % 2 == 1);
        break;
      case 2:
        state->setCommadnProxy(i % 4 == 2);
        break;
      case 3:
        state->setDns(QStringLiteral("10.0.0.%1").arg(i));
        break;
      case 4:
        state->setNoticesReadIds({i, i + 1});
        break;
    }
  }
  const json last = {{"RECONNECT", false}, {"SYSTEM_PROXY", false}, {"COMMAND_PROXY", false},
                     {"DNS_SERVER", sealed("10.0.0.98")}, {"NOTICE_IDS", {99, 100}}};
  ASSERT_TRUE(test::waitFor([&] {
    const json disk = settingsOnDisk();
    for (const auto& [key, value] : last.items()) {
      if (disk.value(key, json()) != value) return false;
    }
    return true;
  }));
  EXPECT_LE(changes.replaced(), 3);
  EXPECT_EQ(changes.onGui(), 0);
}

}  // namespace
}  // namespace lumora
