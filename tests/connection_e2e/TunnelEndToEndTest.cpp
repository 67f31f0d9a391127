// The connection settings page's tunnel row activates against a tunnel host installed in a
// temporary root: the real installation, kernel and authorisation checks.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/EngineEnvironment.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/support/TestHome.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/ToastManager.h"

extern const char* gTunnelSkip;

namespace lumora::test {
namespace {

namespace fs = std::filesystem;

// The package's layout under a temporary root, with its tunnel host running as root on the
// socket the unit would listen on.
class InstalledHost {
 public:
  explicit InstalledHost(const fs::path& caCertificate) {
    fs::create_directories(bin());
    fs::create_directories(host().parent_path());
    fs::create_directories(state());
    fs::copy_file(SPINDRIFT_PROGRAM, host());
    fs::permissions(host(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const std::vector<std::string> words{host().string(), "--socket", socket().string(), "--state-dir",
                                         state().string(), "--allow-uid", "0", "--v2ray", "/usr/bin/v2ray",
                                         "--extra-ca", caCertificate.string()};
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (auto& word : copies) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~InstalledHost() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

  bool listening() const {
    return waitFor([this] { return fs::exists(socket()); }, 10000);
  }
  fs::path bin() const { return root_.path() / "usr" / "bin"; }
  fs::path host() const { return root_.path() / "usr" / "libexec" / "tarnel" / "io.tarnelmacos.ne"; }
  fs::path socket() const { return root_.path() / "run" / "io.tarnelmacos.ne.sock"; }
  fs::path state() const { return root_.path() / "run" / "io.tarnelmacos.ne"; }

 private:
  tarnel::test::TempDir root_;
  pid_t pid_ = -1;
};

TEST(TunnelEndToEnd, TheTunnelRowActivatesAgainstTheInstalledHostAndIsAppliedOnLeaving) {
  if (gTunnelSkip) GTEST_SKIP() << gTunnelSkip;
  AppWorld world;
  InstalledHost installed(world.bed().ca().certificatePath());
  ASSERT_TRUE(installed.listening());
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.tunnelSocket = installed.socket();
  helmsey::setEngineEnvironment(environment);
  ASSERT_TRUE(world.start(QString::fromStdString(installed.bin().string())));

  // Signed in, on the home page, the disclaimer acknowledged.
  ASSERT_TRUE(world.signInToHome());

  // The connection settings page: the tunnel row is chosen once the checks pass.
  world.state().router()->push(Route(Route::connection));
  ASSERT_TRUE(waitFor([&] { return world.item("tunnelRow") && world.state().router()->offsetX() == 0; }));
  EXPECT_FALSE(world.item("tunnelRow")->property("selected").toBool());
  ASSERT_TRUE(world.click("tunnelRow"));
  ASSERT_TRUE(waitFor([&] {
    QQuickItem* row = world.item("tunnelRow");
    return row && row->property("selected").toBool();
  }, 20000)) << "toast: " << SharedInstance<ToastManager>::get()->message().toStdString() << " dialog: "
                  << SharedInstance<DialogManager>::get()->isShow() << " "
                  << SharedInstance<DialogManager>::get()->text().toStdString();
  EXPECT_FALSE(world.state().tunnelMode()) << "applied only on leaving";

  // Leaving while disconnected applies it without a question.
  world.state().router()->back();
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0; }));
  EXPECT_TRUE(world.state().tunnelMode());
}

}  // namespace
}  // namespace lumora::test
