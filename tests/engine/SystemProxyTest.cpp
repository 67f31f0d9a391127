// The desktop's proxy settings and the command-line proxy file, through recording stand-ins for
// gsettings and for KDE's kreadconfig5/kwriteconfig5 on PATH: set while connected, put back on
// stop, after an engine crash, and at the next start after the client itself was killed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "core/engine/EnginePaths.h"
#include "tests/engine/EngineTestKit.h"
#include "tests/support/ChildProcess.h"

namespace tarnel::test::engine {
namespace {

using helmsey::CoreManager;
using helmsey::VPNStatus;
using Settings = std::map<std::string, std::string>;

struct Desktop {
  const char* name;
  const char* currentDesktop;                                       // XDG_CURRENT_DESKTOP
  Settings before;                                                  // the user's own values
  std::function<Settings(std::uint16_t, std::uint16_t)> connected;  // what the engine sets
  friend void PrintTo(const Desktop& desktop, std::ostream* out) { *out << desktop.name; }
};

// Every stand-in keeps one file per setting in `db` and notes a write made while no journal of
// the previous values existed.
void installStandIns(const std::filesystem::path& root) {
  const std::string db = (root / "db").string();
  const std::string violations = (root / "violations").string();
  const std::string journal = helmsey::engine::systemProxyJournal().string();
  const std::string guard = "[ -f '" + journal + "' ] || echo \"$*\" >> '" + violations + "'\n";
  const auto bin = root / "bin";
  writeScript(bin, "gsettings",
              "case \"$1\" in\n"
              "  get) cat '" + db + "'/\"$2 $3\" 2>/dev/null || exit 1 ;;\n"
              "  set) " + guard + "      printf '%s' \"$4\" > '" + db + "'/\"$2 $3\" ;;\n"
              "  *) exit 1 ;;\n"
              "esac\n");
  const std::string parse =
      "while [ $# -gt 0 ]; do case \"$1\" in\n"
      "  --file) shift 2 ;; --group) g=\"$2\"; shift 2 ;; --key) k=\"$2\"; shift 2 ;;\n"
      "  --delete) del=1; shift ;; *) v=\"$1\"; shift ;;\n"
      "esac; done\n";
  writeScript(bin, "kreadconfig5", parse + "cat '" + db + "'/\"$g.$k\" 2>/dev/null\nexit 0\n");
  writeScript(bin, "kwriteconfig5", guard + "del=0\n" + parse +
                                        "if [ $del = 1 ]; then rm -f '" + db + "'/\"$g.$k\";\n"
                                        "else printf '%s' \"$v\" > '" + db + "'/\"$g.$k\"; fi\n");
  std::filesystem::create_directories(db);
  prependToPath(bin);
}

void writeSettings(const std::filesystem::path& db, const Settings& settings) {
  for (const auto& [name, value] : settings) std::ofstream(db / name) << value;
}

Settings readSettings(const std::filesystem::path& db) {
  Settings settings;
  for (const auto& entry : std::filesystem::directory_iterator(db)) {
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    settings[entry.path().filename().string()] = text.str();
  }
  return settings;
}

const Desktop kGnome{
    "Gnome",
    "ubuntu:GNOME",
    {{"org.gnome.system.proxy mode", "'auto'"},
     {"org.gnome.system.proxy.http host", "'corp-proxy.example'"},
     {"org.gnome.system.proxy.http port", "3128"},
     {"org.gnome.system.proxy.https host", "''"},
     {"org.gnome.system.proxy.https port", "0"},
     {"org.gnome.system.proxy.socks host", "''"},
     {"org.gnome.system.proxy.socks port", "0"}},
    [](std::uint16_t http, std::uint16_t socks) {
      return Settings{{"org.gnome.system.proxy mode", "'manual'"},
                      {"org.gnome.system.proxy.http host", "'127.0.0.1'"},
                      {"org.gnome.system.proxy.http port", std::to_string(http)},
                      {"org.gnome.system.proxy.https host", "'127.0.0.1'"},
                      {"org.gnome.system.proxy.https port", std::to_string(http)},
                      {"org.gnome.system.proxy.socks host", "'127.0.0.1'"},
                      {"org.gnome.system.proxy.socks port", std::to_string(socks)}};
    }};

const Desktop kKde{
    "Kde",
    "KDE",
    // httpProxy and httpsProxy are absent: they must be absent again afterwards.
    {{"Proxy Settings.ProxyType", "0"}, {"Proxy Settings.socksProxy", "socks://corp-proxy.example 1080"}},
    [](std::uint16_t http, std::uint16_t socks) {
      return Settings{{"Proxy Settings.ProxyType", "1"},
                      {"Proxy Settings.httpProxy", "http://127.0.0.1 " + std::to_string(http)},
                      {"Proxy Settings.httpsProxy", "http://127.0.0.1 " + std::to_string(http)},
                      {"Proxy Settings.socksProxy", "socks://127.0.0.1 " + std::to_string(socks)}};
    }};

class SystemProxy : public testing::TestWithParam<Desktop> {
 protected:
  void SetUp() override {
    ::setenv("XDG_CURRENT_DESKTOP", GetParam().currentDesktop, 1);
    installStandIns(root_.path());
    writeSettings(db(), GetParam().before);
  }

  std::filesystem::path db() const { return root_.path() / "db"; }
  bool violated() const { return std::filesystem::exists(root_.path() / "violations"); }
  static bool journalExists() { return std::filesystem::exists(helmsey::engine::systemProxyJournal()); }
  static bool proxyFileExists() { return std::filesystem::exists(helmsey::engine::commandLineProxyFile()); }

  TempDir root_;
};

// What a shell that sources the command-line proxy file sees.
std::string sourcedProxyVariables() {
  std::string output;
  runCommand("sh -c '. \"$0\"; printf \"%s|%s|%s\" \"$https_proxy\" \"$ALL_PROXY\" \"$no_proxy\"' '" +
                 helmsey::engine::commandLineProxyFile().string() + "'",
             &output);
  return output;
}

TEST_P(SystemProxy, SetWhileConnectedAndRestoredOnStop) {
  StatusRecorder session;
  CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, true, true, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  const auto http = CoreManager::httpPort();
  const auto socks = CoreManager::socksPort();
  EXPECT_EQ(readSettings(db()), GetParam().connected(http, socks));
  EXPECT_TRUE(journalExists());
  EXPECT_FALSE(violated()) << "a setting changed before the previous values were in the journal";
  EXPECT_EQ(sourcedProxyVariables(), "http://127.0.0.1:" + std::to_string(http) + "|socks5://127.0.0.1:" +
                                         std::to_string(socks) + "|localhost,127.0.0.1,::1");

  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  EXPECT_EQ(readSettings(db()), GetParam().before);
  EXPECT_FALSE(journalExists());
  EXPECT_FALSE(proxyFileExists());
}

TEST_P(SystemProxy, RestoredWhenTheEngineCrashes) {
  StatusRecorder session;
  CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, true, true, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  const auto children = engineChildren();
  ASSERT_EQ(children.size(), 1u);
  ASSERT_NE(readSettings(db()), GetParam().before);
  ::kill(children.front(), SIGKILL);
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected, 5s));
  EXPECT_EQ(readSettings(db()), GetParam().before);
  EXPECT_FALSE(journalExists());
  EXPECT_FALSE(proxyFileExists());
}

TEST_P(SystemProxy, NotTouchedWithoutTheFlag) {
  StatusRecorder session;
  CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, false, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::connected));
  EXPECT_EQ(readSettings(db()), GetParam().before);
  EXPECT_FALSE(journalExists());
  EXPECT_FALSE(proxyFileExists());
}

// A client, in a process of its own, that connects with both proxy flags and reports the pid of
// its engine child; then it ends the ordinary way (`exitNormally`), or waits to be killed.
pid_t startClientProcess(pid_t& engineChild, bool exitNormally = false) {
  int report[2];
  if (::pipe(report) != 0) return -1;
  const pid_t client = ::fork();
  if (client == 0) {
    ::close(report[0]);
    StatusRecorder session;
    CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, true, true, session.callback());
    if (!session.waitFor(VPNStatus::connected, 10s)) ::_exit(1);
    const auto children = engineChildren();
    const pid_t child = children.size() == 1 ? children.front() : -1;
    [[maybe_unused]] const ssize_t n = ::write(report[1], &child, sizeof child);
    if (exitNormally) std::exit(0);
    for (;;) ::pause();
  }
  ::close(report[1]);
  pollfd ready{report[0], POLLIN, 0};
  engineChild = -1;
  if (::poll(&ready, 1, 15000) == 1 && ::read(report[0], &engineChild, sizeof engineChild) != sizeof engineChild) {
    engineChild = -1;
  }
  ::close(report[0]);
  return client;
}

TEST_P(SystemProxy, ClientThatEndsNormallyPutsTheDesktopBack) {
  pid_t engineChild = -1;
  const pid_t client = startClientProcess(engineChild, true);
  ASSERT_GT(client, 0);
  ASSERT_GT(engineChild, 0) << "the client process did not connect";
  int status = 0;
  ::waitpid(client, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(waitGone(engineChild));
  EXPECT_EQ(readSettings(db()), GetParam().before);
  EXPECT_FALSE(journalExists());
  EXPECT_FALSE(proxyFileExists());
}

enum class NextCall { start, stop };

// Each case forks its client before this process touches the engine: a fork taken once the
// engine's thread runs would copy an engine without its thread.
class ClientKilled : public testing::TestWithParam<std::tuple<Desktop, NextCall>> {
 protected:
  void SetUp() override {
    ::setenv("XDG_CURRENT_DESKTOP", desktop().currentDesktop, 1);
    installStandIns(root_.path());
    writeSettings(db(), desktop().before);
  }
  const Desktop& desktop() const { return std::get<0>(GetParam()); }
  std::filesystem::path db() const { return root_.path() / "db"; }

  TempDir root_;
};

TEST_P(ClientKilled, NextCallRestoresTheDesktop) {
  pid_t engineChild = -1;
  const pid_t client = startClientProcess(engineChild);
  ASSERT_GT(client, 0);
  ASSERT_GT(engineChild, 0) << "the client process did not connect";
  ::kill(client, SIGKILL);
  int status = 0;
  ::waitpid(client, &status, 0);
  EXPECT_TRUE(waitGone(engineChild)) << "the engine outlived its client";
  ASSERT_NE(readSettings(db()), desktop().before) << "nothing was left to restore";
  ASSERT_TRUE(std::filesystem::exists(helmsey::engine::systemProxyJournal()));
  ASSERT_TRUE(std::filesystem::exists(helmsey::engine::commandLineProxyFile()));

  // This process is the client started again.
  StatusRecorder again;
  if (std::get<1>(GetParam()) == NextCall::start) {
    CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, false, false, again.callback());
    ASSERT_TRUE(again.waitFor(VPNStatus::connected));
  } else {
    CoreManager::stopVPN(again.callback());
    ASSERT_TRUE(again.waitFor(VPNStatus::disconnected));
  }
  EXPECT_EQ(readSettings(db()), desktop().before);
  EXPECT_FALSE(std::filesystem::exists(helmsey::engine::systemProxyJournal()));
  EXPECT_FALSE(std::filesystem::exists(helmsey::engine::commandLineProxyFile()));
}

INSTANTIATE_TEST_SUITE_P(Desktops, SystemProxy, testing::Values(kGnome, kKde),
                         [](const testing::TestParamInfo<Desktop>& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Desktops, ClientKilled,
                         testing::Combine(testing::Values(kGnome, kKde), testing::Values(NextCall::start, NextCall::stop)),
                         [](const testing::TestParamInfo<std::tuple<Desktop, NextCall>>& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == NextCall::start ? "ThenStart" : "ThenStop");
                         });

}  // namespace
}  // namespace tarnel::test::engine
