// The real program's settings on its way out: the store writes behind, so quitting must put what
// the user changed last in the file before the process ends.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/UserDefaults.h"
#include "services/encryption/Encryptor.h"
#include "tests/shell_e2e/AppWorld.h"
#include "ui/shell/ShellActions.h"

namespace lumora::test {
namespace {

using nlohmann::json;

json settingsOnDisk() {
  std::ifstream in(platform::UserDefaults::standard().file());
  if (!in) return json::object();
  return json::parse(in, nullptr, false);
}

TEST(SettingsEndToEnd, QuitRightAfterAChangeFindsTheChangeInTheFile) {
  AppWorld world;
  ASSERT_TRUE(world.start());
  ASSERT_TRUE(waitFor([] { return settingsOnDisk().contains("CLOSE_EVENT"); })) << "the first start's settings";
  // The writer would wait far longer than the program takes to leave: only the way out itself
  // can put these changes in the file in time.
  platform::UserDefaults::standard().setWriteDelayForTesting(std::chrono::minutes(10));
  const bool reconnect = !world.state().reconnect();
  world.state().setReconnect(reconnect);
  world.state().setDns(QStringLiteral("9.9.9.9"));
  ASSERT_NE(settingsOnDisk().value("RECONNECT", json()), reconnect) << "not written yet";

  QEventLoop running;
  QTimer::singleShot(30000, &running, [&running] { running.exit(99); });
  QTimer::singleShot(0, [] { SharedInstance<ShellActions>::get()->quit(); });
  ASSERT_EQ(running.exec(), 0) << "the program left with its plain quit code";

  const json disk = settingsOnDisk();
  EXPECT_EQ(disk.value("RECONNECT", json()), reconnect);
  EXPECT_EQ(disk.value("DNS_SERVER", json()), tarnel::sharedEncryptor().encrypt("9.9.9.9").value());
}

}  // namespace
}  // namespace lumora::test
