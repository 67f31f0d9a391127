// Every folder the program writes lies inside the test's own home, whatever the session running
// the tests sets: a test run never touches the user's real folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/engine/EnginePaths.h"
#include "platform/Keychain.h"
#include "platform/UserDefaults.h"
#include "platform/XdgPaths.h"
#include "services/api/PendingReceipts.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

bool inside(const std::filesystem::path& path, const std::filesystem::path& root) {
  const auto relative = path.lexically_normal().lexically_relative(root.lexically_normal());
  return !relative.empty() && *relative.begin() != "..";
}

TEST(TestIsolation, EveryFolderTheProgramWritesIsInsideTheTestHome) {
  const auto child = test::runInChild([] {
    // A developer's desktop session sets all of these.
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "XDG_RUNTIME_DIR"}) {
      setenv(name, "/nonexistent/the-users-own-folder", 1);
    }
    const test::TestHome home;
    const std::vector<std::filesystem::path> written = {
        platform::appConfigDir(),
        platform::appDataDir(),
        platform::appCacheDir(),
        platform::appStateDir(),
        platform::UserDefaults::standard().file(),
        platform::defaultKeychainFile(),
        PendingReceipts::defaultFile(),
        helmsey::engine::systemProxyJournal(),
        helmsey::engine::commandLineProxyFile(),
        helmsey::engine::crashLogFile(),
        helmsey::engine::crashReportFile(),
    };
    std::string outside;
    for (const auto& path : written) {
      if (!inside(path, home.root())) outside += path.string() + "\n";
    }
    return outside;
  });
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.output, "") << "outside the test home";
}

}  // namespace
}  // namespace tarnel
