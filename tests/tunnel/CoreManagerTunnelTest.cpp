// The application's side of tunnel mode: CoreManager drives Spindrift over its socket with the
// statuses, restarts and stop of proxy mode.
#include <signal.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "core/CoreManager.h"
#include "core/EngineEnvironment.h"
#include "tests/tunnel/TunnelWorld.h"

namespace tarnel::test {
namespace {

using helmsey::CoreManager;
using helmsey::StartFailure;
using helmsey::VPNStatus;
using Statuses = std::vector<VPNStatus>;

class Recorder {
 public:
  helmsey::VPNStatusCallback callback() {
    return [this](VPNStatus status) {
      std::lock_guard lock(mutex_);
      statuses_.push_back(status);
      changed_.notify_all();
    };
  }
  // Waits until `count` statuses arrived.
  bool waitForCount(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return statuses_.size() >= count; });
  }
  Statuses statuses() {
    std::lock_guard lock(mutex_);
    return statuses_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Statuses statuses_;
};

TEST(TunnelMode, CoreManagerConnectsRestartsAndStopsThroughSpindrift) {
  if (const auto reason = tunnelSkipReason()) GTEST_SKIP() << *reason;
  TunnelWorld world;
  world.startSpindrift();
  const std::string before = world.networkState();
  helmsey::EngineEnvironment environment;
  environment.tunnelSocket = world.socketPath();
  helmsey::setEngineEnvironment(environment);

  Recorder session;
  CoreManager::startVPN(world.configuration(), true, false, false, session.callback());
  ASSERT_TRUE(session.waitForCount(2));
  ASSERT_EQ(session.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected}));
  EXPECT_TRUE(CoreManager::isTun());
  EXPECT_EQ(CoreManager::status(), VPNStatus::connected);
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress);

  // The engine inside Spindrift crashes: the connection comes back by itself.
  ASSERT_GT(world.enginePid(), 0);
  ::kill(world.enginePid(), SIGKILL);
  ASSERT_TRUE(session.waitForCount(4));
  EXPECT_EQ(session.statuses(),
            (Statuses{VPNStatus::connecting, VPNStatus::connected, VPNStatus::connecting, VPNStatus::connected}));
  EXPECT_EQ(world.curlPage(), TunnelWorld::kPageAddress);

  Recorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitForCount(1));
  EXPECT_EQ(stop.statuses(), Statuses{VPNStatus::disconnected});
  EXPECT_EQ(world.networkState(), before) << "disconnected means the capture is gone";
  EXPECT_EQ(world.curlPage(), TunnelWorld::kClientAddress);
  EXPECT_EQ(session.statuses().size(), 4u) << "the stopped connection hears nothing more";

  // Spindrift itself dies under a running tunnel: the connection ends (no restart without it).
  Recorder orphan;
  CoreManager::startVPN(world.configuration(), false, false, false, orphan.callback());
  ASSERT_TRUE(orphan.waitForCount(2));
  world.killSpindrift();
  ASSERT_TRUE(orphan.waitForCount(3));
  EXPECT_EQ(orphan.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::connected, VPNStatus::disconnected}));
  EXPECT_EQ(CoreManager::startFailure(), StartFailure::none);

  // With Spindrift gone the next start is refused, not left connecting.
  Recorder refused;
  CoreManager::startVPN(world.configuration(), true, false, false, refused.callback());
  ASSERT_TRUE(refused.waitForCount(2));
  EXPECT_EQ(refused.statuses(), (Statuses{VPNStatus::connecting, VPNStatus::disconnected}));
  EXPECT_EQ(CoreManager::startFailure(), StartFailure::refused);
}

}  // namespace
}  // namespace tarnel::test
