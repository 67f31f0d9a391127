// The desktop's proxy settings and the command-line proxy file, through recording stand-ins for
// gsettings and for KDE's kreadconfig5/kwriteconfig5 on PATH: set while connected, put back on
// stop, after an engine crash, and at the next start after the client itself was killed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <tuple>

#include "core/engine/EnginePaths.h"
#include "core/engine/SystemProxy.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "platform/XdgPaths.h"
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
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected));
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
    if (!session.waitFor(VPNStatus::connected, 60s)) ::_exit(1);
    const auto children = engineChildren();
    const pid_t child = children.size() == 1 ? children.front() : -1;
    [[maybe_unused]] const ssize_t n = ::write(report[1], &child, sizeof child);
    if (exitNormally) std::exit(0);
    for (;;) ::pause();
  }
  ::close(report[1]);
  // The client reports or ends (closing the pipe) within its own bound; this one is for a hang.
  pollfd ready{report[0], POLLIN, 0};
  engineChild = -1;
  if (::poll(&ready, 1, 120000) == 1 && ::read(report[0], &engineChild, sizeof engineChild) != sizeof engineChild) {
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

enum class NextCall { start, stop, prepare };

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
  } else if (std::get<1>(GetParam()) == NextCall::prepare) {
    // The launch alone puts the desktop back, before anything connects or stops.
    CoreManager::prepare();
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
                         testing::Combine(testing::Values(kGnome, kKde),
                                          testing::Values(NextCall::start, NextCall::stop, NextCall::prepare)),
                         [](const testing::TestParamInfo<std::tuple<Desktop, NextCall>>& info) {
                           const NextCall next = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param).name) +
                                  (next == NextCall::start ? "ThenStart"
                                                           : next == NextCall::stop ? "ThenStop" : "ThenLaunch");
                         });

// --- failures the user must hear of -------------------------------------------------------------

// A desktop whose proxy mode cannot be switched to manual: the connection is not reported as
// connected, the reason is kept for the caller, and what was set in part is put back.
TEST_P(SystemProxy, ThatCannotBeSetEndsTheConnectionWithItsReason) {
  const auto bin = root_.path() / "bin";
  writeScript(bin, "gsettings",
              "db='" + db().string() + "'\n"
              "case \"$1\" in\n"
              "  get) cat \"$db/$2 $3\" 2>/dev/null || exit 1 ;;\n"
              "  set) [ \"$3\" = mode ] && [ \"$4\" = \"'manual'\" ] && exit 1\n"
              "       printf '%s' \"$4\" > \"$db/$2 $3\" ;;\n"
              "esac\n");
  std::filesystem::rename(bin / "kwriteconfig5", bin / "kwrite-real");
  writeScript(bin, "kwriteconfig5", "case \"$*\" in *\"--key ProxyType 1\") exit 1 ;; esac\n"
              "exec sh '" + (bin / "kwrite-real").string() + "' \"$@\"\n");
  StatusRecorder session;
  CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, true, false, session.callback());
  ASSERT_TRUE(session.waitFor(VPNStatus::disconnected));
  EXPECT_EQ(CoreManager::startFailure(), helmsey::StartFailure::systemProxy);
  const auto statuses = session.statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), VPNStatus::connected), 0);
  EXPECT_TRUE(engineChildren().empty());
  EXPECT_EQ(readSettings(db()), GetParam().before);
  EXPECT_FALSE(journalExists());
}

TEST(EngineFailures, RefusedSettingsAreReportedAsARefusalAndAPlainStopIsNot) {
  TempDir root;
  StatusRecorder refused;
  Json unusable = tunnelConfig(9, "b", randomUuid());
  unusable["protocol"] = "zz";
  CoreManager::startVPN(unusable, false, false, false, refused.callback());
  ASSERT_TRUE(refused.waitFor(VPNStatus::disconnected));
  EXPECT_EQ(CoreManager::startFailure(), helmsey::StartFailure::refused);

  StatusRecorder fine;
  CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), false, false, false, fine.callback());
  ASSERT_TRUE(fine.waitFor(VPNStatus::connected));
  EXPECT_EQ(CoreManager::startFailure(), helmsey::StartFailure::none);
  StatusRecorder stop;
  CoreManager::stopVPN(stop.callback());
  ASSERT_TRUE(stop.waitFor(VPNStatus::disconnected));
  EXPECT_EQ(CoreManager::startFailure(), helmsey::StartFailure::none);
}

// --- damaged journals -------------------------------------------------------------------------------

// True when the desktop sends its traffic to a proxy on this machine (ours, now dead).
bool pointsAtLocalProxy(const Settings& settings) {
  const auto value = [&](const std::string& key) {
    const auto found = settings.find(key);
    return found == settings.end() ? std::string() : found->second;
  };
  return (value("org.gnome.system.proxy mode") == "'manual'" &&
          value("org.gnome.system.proxy.http host") == "'127.0.0.1'") ||
         (value("Proxy Settings.ProxyType") == "1" &&
          value("Proxy Settings.httpProxy").rfind("http://127.0.0.1 ", 0) == 0);
}

void replaceSettings(const std::filesystem::path& db, const Settings& settings) {
  std::filesystem::remove_all(db);
  std::filesystem::create_directories(db);
  writeSettings(db, settings);
}

std::size_t setAsideCopies(const std::filesystem::path& journal) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(journal.parent_path())) {
    if (entry.path().filename().string().rfind(journal.filename().string() + ".damaged", 0) == 0) ++count;
  }
  return count;
}

// Truncated at many points, emptied, replaced, and one byte damaged at many points: every kind
// restores what it can, is set aside (never over an earlier copy), and never leaves the desktop
// on the dead local proxy. The figures are printed for the record.
TEST_P(SystemProxy, DamagedJournalRestoresWhatItCanAndNeverLeavesTheDeadProxy) {
  const auto journal = root_.path() / "state" / "system-proxy.json";
  helmsey::engine::SystemProxy proxy(journal);
  ASSERT_EQ(proxy.apply({"127.0.0.1", 18080}, {"127.0.0.1", 18081}), helmsey::engine::SystemProxy::Outcome::set);
  const Settings ours = readSettings(db());
  ASSERT_TRUE(pointsAtLocalProxy(ours));
  std::string whole;
  {
    std::ifstream in(journal);
    std::stringstream text;
    text << in.rdbuf();
    whole = text.str();
  }
  ASSERT_FALSE(whole.empty());

  std::vector<std::pair<std::string, std::string>> damages{{"emptied", ""}, {"array", "[]"}, {"text", "not json"},
                                                           {"nul bytes", std::string(16, '\0')}};
  for (std::size_t cut = 1; cut < whole.size(); cut += std::max<std::size_t>(1, whole.size() / 24)) {
    damages.emplace_back("cut at " + std::to_string(cut), whole.substr(0, cut));
  }
  std::uint32_t seed = 7;
  for (int i = 0; i < 24; ++i) {
    seed = seed * 1103515245u + 12345u;
    std::string flipped = whole;
    const std::size_t at = (seed >> 8) % flipped.size();
    flipped[at] = static_cast<char>(flipped[at] ^ (1 << ((seed >> 4) % 7)));
    damages.emplace_back("byte " + std::to_string(at), flipped);
  }

  int restored = 0, switchedOff = 0, deadProxy = 0;
  std::size_t copies = setAsideCopies(journal);
  for (const auto& [name, text] : damages) {
    SCOPED_TRACE(name);
    replaceSettings(db(), ours);
    std::ofstream(journal, std::ios::binary | std::ios::trunc) << text;
    EXPECT_TRUE(proxy.restore());
    EXPECT_FALSE(std::filesystem::exists(journal));
    const Settings after = readSettings(db());
    if (after == GetParam().before) {
      ++restored;
    } else if (pointsAtLocalProxy(after)) {
      ++deadProxy;
      ADD_FAILURE() << "the desktop was left on the dead local proxy";
    } else {
      ++switchedOff;
    }
    // A journal that no longer parses is kept for a look, in a copy of its own.
    const std::size_t now = setAsideCopies(journal);
    if (!nlohmann::json::accept(text)) {
      EXPECT_EQ(now, copies + 1) << "the damaged journal was not set aside in a copy of its own";
    }
    copies = now;
  }
  std::cout << GetParam().name << " journal damage trials: " << damages.size() << ", restored in full: " << restored
            << ", proxy switched off: " << switchedOff << ", left on the dead proxy: " << deadProxy << "\n";
  RecordProperty("damage_trials", static_cast<int>(damages.size()));
  RecordProperty("left_on_dead_proxy", deadProxy);
}

// Ends this process's children, adopted from a killed client, and says what each was doing:
// its name, state and the kernel function it waits in.
std::string endAdoptedChildren() {
  std::string report;
  for (const ProcessEntry& child : childrenOf(::getpid())) {
    std::ifstream wchanFile("/proc/" + std::to_string(child.pid) + "/wchan");
    std::string wchan;
    std::getline(wchanFile, wchan);
    report += "  pid " + std::to_string(child.pid) + " (" + child.name + ") state " + child.state + " waiting in " +
              (wchan.empty() ? "?" : wchan) + "\n";
    ::kill(child.pid, SIGKILL);
  }
  int status = 0;
  while (::waitpid(-1, &status, 0) > 0) {
  }
  return report;
}

// --- kill -9 trials ---------------------------------------------------------------------------------

// Twenty clients killed at random points while they connect or are connected, each followed by
// the next launch: no engine outlives its client, the settings file always reads, and the
// launch alone puts the desktop back.
TEST_P(SystemProxy, ClientsKilledAtRandomPointsLeaveNothingBehind) {
  // Orphans of the killed clients (their engines, a desktop tool under way) become ours, so that
  // this process can see and await them.
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const auto settingsFile = platform::appConfigDir() / (std::string(platform::mainBundle().identifier) + ".json");
  std::mt19937 random(std::random_device{}());
  constexpr int kTrials = 20;
  int engineLeft = 0, unreadable = 0, notRestored = 0, connectedAtKill = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const pid_t client = ::fork();
    ASSERT_GE(client, 0);
    if (client == 0) {
      platform::UserDefaults& defaults = platform::UserDefaults::standard();
      StatusRecorder session;
      CoreManager::startVPN(tunnelConfig(9, "b", randomUuid()), true, true, true, session.callback());
      for (int n = 0;; ++n) defaults.set("trial-counter", n);  // a settings write may be cut off too
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 900)(random)));
    if (std::filesystem::exists(helmsey::engine::systemProxyJournal())) ++connectedAtKill;
    ::kill(client, SIGKILL);
    int status = 0;
    ::waitpid(client, &status, 0);
    // Everything the client started ends without it. One that is left stays for good (a child
    // that never reached exec, say), so the bound only has to be generous; it is named and
    // ended, so that it holds up neither the next trials nor the output the runner waits on.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    bool orphans = true;
    while (orphans && std::chrono::steady_clock::now() < deadline) {
      const pid_t reaped = ::waitpid(-1, &status, WNOHANG);
      if (reaped < 0 && errno == ECHILD) orphans = false;
      if (reaped <= 0) std::this_thread::sleep_for(10ms);
    }
    if (orphans) {
      ++engineLeft;
      ADD_FAILURE() << "a process of the killed client is still running:\n" << endAdoptedChildren();
    }
    if (std::filesystem::exists(settingsFile)) {
      std::ifstream in(settingsFile);
      std::stringstream text;
      text << in.rdbuf();
      if (!nlohmann::json::parse(text.str(), nullptr, false).is_object()) {
        ++unreadable;
        ADD_FAILURE() << "the settings file does not read";
      }
    }
    const auto launch = runInChild([] {
      CoreManager::prepare();
      return std::string();
    });
    EXPECT_EQ(launch.exitCode, 0);
    if (readSettings(db()) != GetParam().before || journalExists() || proxyFileExists()) {
      ++notRestored;
      ADD_FAILURE() << "the launch did not put the desktop back";
      replaceSettings(db(), GetParam().before);
    }
  }
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  std::cout << GetParam().name << " kill -9 trials: " << kTrials << " (" << connectedAtKill
            << " after the proxy was set), engine left: " << engineLeft << ", settings unreadable: " << unreadable
            << ", desktop not restored at the next launch: " << notRestored << "\n";
  RecordProperty("kill_trials", kTrials);
}

}  // namespace
}  // namespace tarnel::test::engine
