// The connection settings page's tunnel row activates against a tunnel host installed in a
// temporary root: the real installation, kernel and authorisation checks. Then a connect from
// the home screen runs through that host: its engine, its capture rules, a real node.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/EngineEnvironment.h"
#include "services/connection/ConnectionController.h"
#include "tests/e2e/E2EWorld.h"
#include "tests/shell_e2e/AppWorld.h"
#include "tests/shell_e2e/NodeWorld.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/ToastManager.h"

extern const char* gTunnelSkip;

namespace lumora::test {
namespace {

namespace fs = std::filesystem;
using tarnel::ConnectionController;

// The living children of `parent`.
std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    pid_t ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent && state != 'Z') found.push_back(static_cast<pid_t>(std::stoi(name)));
  }
  return found;
}

bool captureTablePresent() {
  return tarnel::test::runCommand(std::string("nft list table inet spindrift >/dev/null 2>&1"), nullptr) == 0;
}

// The package's layout under a temporary root. Its tunnel host is started as systemd starts it:
// systemd-socket-activate listens on the socket the unit names and starts the host, as root, on
// the first connection, handing it the socket. `Service::stopped`: installed, but the socket is
// not listening (the unit was never enabled).
class InstalledHost {
 public:
  enum class Service { socketActivated, stopped };

  explicit InstalledHost(const fs::path& caCertificate, Service service = Service::socketActivated) {
    fs::create_directories(bin());
    fs::create_directories(host().parent_path());
    fs::create_directories(state());
    fs::copy_file(SPINDRIFT_PROGRAM, host());
    fs::permissions(host(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    if (service == Service::stopped) return;
    const std::vector<std::string> words{"systemd-socket-activate", "-l", socket().string(), host().string(),
                                         "--state-dir", state().string(), "--allow-uid", "0", "--v2ray",
                                         "/usr/bin/v2ray", "--extra-ca", caCertificate.string(), "--engine-user",
                                         "nobody"};
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (auto& word : copies) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~InstalledHost() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

  pid_t pid() const { return pid_; }
  bool listening() const {
    return waitFor([this] { return fs::exists(socket()); });
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
  })) << "toast: " << SharedInstance<ToastManager>::get()->message().toStdString() << " dialog: "
                  << SharedInstance<DialogManager>::get()->isShow() << " "
                  << SharedInstance<DialogManager>::get()->text().toStdString();
  EXPECT_FALSE(world.state().tunnelMode()) << "applied only on leaving";

  // Leaving while disconnected applies it without a question.
  world.state().router()->back();
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0; }));
  EXPECT_TRUE(world.state().tunnelMode());
}

// A web page beyond this machine for the tunnel to carry: a veth pair of this namespace's own
// gives 198.51.100.0/24 a route, so what goes there leaves the machine unless captured. Nothing
// answers at the far end; only the node (which reaches the page on loopback) can.
constexpr const char* kFarPage = "198.51.100.10";

bool routeBeyondTheMachine() {
  return tarnel::test::runCommand(
             "ip link add tun-e2e0 type veth peer name tun-e2e1 && ip addr add 192.0.2.1/24 dev tun-e2e0 && "
             "ip link set tun-e2e1 up && ip link set tun-e2e0 up && "
             "ip route add 198.51.100.0/24 via 192.0.2.2 2>&1",
             nullptr) == 0;
}

// The page's answer (the address it was reached from) for a request to page.test sent to the
// far address, or empty. The engine learns the name from the request itself. A page that is to
// come is waited for as long as only a hang takes; where none may come, a short wait can only
// miss a fault, never fail a capture that works.
enum class Expect { page, nothing };
std::string fetchFarPage(const NodeWorld& nodes, const fs::path& caCertificate, Expect expect) {
  const std::string port = std::to_string(nodes.pagePort());
  const std::string seconds = expect == Expect::page ? "60" : "8";
  std::string output;
  tarnel::test::runCommand("curl -s --max-time " + seconds + " --cacert " + caCertificate.string() +
                               " --resolve page.test:" + port +
                               ":" + kFarPage + " https://page.test:" + port + "/far",
                           &output);
  return output;
}

TEST(TunnelEndToEnd, AConnectFromTheHomeScreenRunsThroughTheInstalledHostAndLeavesNothingBehind) {
  if (gTunnelSkip) GTEST_SKIP() << gTunnelSkip;
  // No desktop's proxy settings are touched outside this test's own session.
  setenv("GSETTINGS_BACKEND", "memory", 1);
  ASSERT_TRUE(routeBeyondTheMachine());
  AppWorld world;
  InstalledHost installed(world.bed().ca().certificatePath());
  ASSERT_TRUE(installed.listening());
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.tunnelSocket = installed.socket();
  helmsey::setEngineEnvironment(environment);
  ASSERT_TRUE(world.start(QString::fromStdString(installed.bin().string())));
  NodeWorld nodes(world, {{"A"}});
  // In tunnel mode the program checks the connection without a proxy, and this machine has no
  // name service: the check page is asked for by its loopback address.
  ConnectionController::setAvailabilityPagesForTesting(
      {"https://127.0.0.1:" + std::to_string(nodes.pagePort()) + "/search"});
  // Whatever assertion ends the scenario, the tunnel goes while its host is still there.
  struct Disconnect {
    ~Disconnect() { ConnectionController::shared().disconnect(); }
  } disconnect;

  ASSERT_TRUE(world.signInToHome());
  world.state().router()->push(Route(Route::connection));
  ASSERT_TRUE(waitFor([&] { return world.item("tunnelRow") && world.state().router()->offsetX() == 0; }));
  ASSERT_TRUE(world.click("tunnelRow"));
  ASSERT_TRUE(waitFor([&] {
    QQuickItem* row = world.item("tunnelRow");
    return row && row->property("selected").toBool();
  }));
  world.state().router()->back();
  ASSERT_TRUE(waitFor([&] { return world.state().router()->depth() == 0 && world.item("connectArea"); }));
  ASSERT_TRUE(world.state().tunnelMode());
  EXPECT_FALSE(captureTablePresent());
  EXPECT_EQ(fetchFarPage(nodes, world.bed().ca().certificatePath(), Expect::nothing), "") << "nothing carries it yet";

  ASSERT_TRUE(world.click("connectArea"));
  ASSERT_TRUE(waitFor([&] {
    return world.text("statusText") == "Connected" &&
           ConnectionController::shared().phase() == ConnectionController::Phase::connected;
  }, 40000)) << "status: " << world.text("statusText").toStdString()
             << " toast: " << SharedInstance<ToastManager>::get()->message().toStdString()
             << " dialog: " << SharedInstance<DialogManager>::get()->text().toStdString();
  EXPECT_NE(world.item("connectedIcon"), nullptr);
  EXPECT_EQ(world.service().requests("POST", "connect/node/A/user/*").size(), 1u);
  // The engine is the host's, not the program's, and the capture is in place.
  EXPECT_EQ(childrenOf(installed.pid()).size(), 1u);
  EXPECT_TRUE(tarnel::test::engineProcesses().empty());
  EXPECT_TRUE(captureTablePresent());
  // Traffic bound beyond the machine is captured and comes out of the node.
  EXPECT_EQ(fetchFarPage(nodes, world.bed().ca().certificatePath(), Expect::page), nodes.sourceOf(0));

  // The connect switch ignores a second click within a second.
  waitFor([] { return false; }, 1100);
  ASSERT_TRUE(world.click("connectArea"));
  ASSERT_TRUE(waitFor([&] { return world.text("statusText") == "Disconnected"; }))
      << world.text("statusText").toStdString();
  EXPECT_TRUE(waitFor([&] { return childrenOf(installed.pid()).empty(); })) << "the host's engine is gone";
  EXPECT_TRUE(waitFor([] { return !captureTablePresent(); })) << "the capture is gone";
  EXPECT_EQ(world.item("dialogCard"), nullptr);
  EXPECT_EQ(fetchFarPage(nodes, world.bed().ca().certificatePath(), Expect::nothing), "");
}

// Installed, but the service's socket is not listening: the row says so and how to start it,
// and "Confirm" leaves the program running.
TEST(TunnelEndToEnd, AnInstalledHostWhoseServiceIsNotRunningIsToldApartAndQuitsNothing) {
  if (gTunnelSkip) GTEST_SKIP() << gTunnelSkip;
  AppWorld world;
  InstalledHost installed(world.bed().ca().certificatePath(), InstalledHost::Service::stopped);
  helmsey::EngineEnvironment environment = helmsey::engineEnvironment();
  environment.tunnelSocket = installed.socket();
  helmsey::setEngineEnvironment(environment);
  ASSERT_TRUE(world.start(QString::fromStdString(installed.bin().string())));
  ASSERT_TRUE(world.signInToHome());

  world.state().router()->push(Route(Route::connection));
  ASSERT_TRUE(waitFor([&] { return world.item("tunnelRow") && world.state().router()->offsetX() == 0; }));
  ASSERT_TRUE(world.click("tunnelRow"));
  ASSERT_TRUE(waitFor([&] { return world.item("dialogCard") != nullptr; }));
  const QString text = world.text("dialogText");
  EXPECT_TRUE(text.contains(QStringLiteral("not running"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("systemctl enable --now io.tarnelmacos.ne.socket"))) << text.toStdString();
  ASSERT_TRUE(world.click("dialogButton_Confirm"));
  ASSERT_TRUE(waitFor([&] { return world.item("dialogCard") == nullptr; }));
  waitFor([] { return false; }, 500);
  EXPECT_TRUE(world.window()->isVisible()) << "the program is still open";
  EXPECT_FALSE(world.item("tunnelRow")->property("selected").toBool());
}

}  // namespace
}  // namespace lumora::test
