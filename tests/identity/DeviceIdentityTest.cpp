// The device identifier the service is sent, start after start, while the keyring comes and goes
// and the file store is damaged or unreadable. Each start is a process of its own over the same
// folders, as the program's starts are: the keyring is a real Secret Service on a session bus of
// this test's own, taken away by starting without a bus or on a bus where no Secret Service is.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/BundleConfig.h"
#include "platform/Keychain.h"
#include "services/api/APIManager.h"
#include "tests/support/ApiTestBed.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace tarnel::test {
namespace {

constexpr const char* kInsideSession = "TARNEL_DEVICE_IDENTITY_SESSION";
constexpr const char* kUser = "u-dev-1";
constexpr const char* kAccount = "device_id";
constexpr const char* kMadeNew = "no device identifier could be read from the keychain; made a new one";

// How the keyring stands at a start.
enum class Keyring { present, noBus, busWithoutIt };

// What is done to the file store before a start.
enum class FileStore { asLeft, damaged, unreadable };

struct Start {
  Keyring keyring;
  std::string id;  // a name for the identifier expected: the same name, the same identifier
  bool madeNew;    // the start says in its log that it made a new identifier
  FileStore file = FileStore::asLeft;
};

struct IdentityCase {
  std::string name;
  std::optional<std::string> inKeyring;  // stored before the first start, as earlier versions left it
  std::optional<std::string> inFile;
  std::vector<Start> starts;
};

// A session bus on which no Secret Service is, nor can be started: its configuration names no
// folder of activatable services. Ended, by its process id, with the object.
class BusWithoutSecretService {
 public:
  explicit BusWithoutSecretService(const std::filesystem::path& dir) {
    const auto config = dir / "bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig><type>session</type><listen>unix:path="
                          << (dir / "bus").string()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    // The daemon keeps what it inherits open: its address and id go through a file, not a pipe.
    const auto printed = dir / "bus.txt";
    runCommand("dbus-daemon --config-file=" + shellQuote(config.string()) +
                   " --fork --print-address=1 --print-pid=1 >" + shellQuote(printed.string()) + " 2>&1",
               nullptr);
    std::ifstream in(printed);
    std::string pid;
    std::getline(in, address_);
    std::getline(in, pid);
    pid_ = std::atoi(pid.c_str());
  }
  ~BusWithoutSecretService() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  BusWithoutSecretService(const BusWithoutSecretService&) = delete;
  BusWithoutSecretService& operator=(const BusWithoutSecretService&) = delete;

  bool running() const { return pid_ > 0 && address_.starts_with("unix:"); }
  const std::string& address() const { return address_; }

 private:
  std::string address_;
  pid_t pid_ = -1;
};

struct Seen {
  std::string pathId;   // the identifier in the status call's path
  std::string queryId;  // the "device_id" query parameter of the same request
  bool madeNew = false;
  std::string log;
};

class Starts {
 public:
  Starts(std::string keyringBus, std::string busWithoutIt, std::filesystem::path nobodyListens)
      : keyringBus_(std::move(keyringBus)), busWithoutIt_(std::move(busWithoutIt)),
        nobodyListens_(std::move(nobodyListens)) {}

  // The program's first steps in a process of its own: the account status call, which names the
  // device in its path.
  Seen start(Keyring keyring) const {
    const auto child = runInChild([&] {
      const std::string bus = keyring == Keyring::present  ? keyringBus_
                              : keyring == Keyring::noBus ? "unix:path=" + nobodyListens_.string()
                                                          : busWithoutIt_;
      setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
      testing::internal::CaptureStdout();
      WireJson seen = WireJson::object();
      try {
        ApiTestBed api;
        api.service().script("GET", "lite/users/*/device/*", Answer::error(4404, "no such device", 404));
        ApiTestBed::signIn(kUser);
        (void)APIManager::live();
        const auto requests = api.service().requests("GET", std::string("lite/users/") + kUser + "/device/*");
        if (requests.size() == 1) {
          const std::string& path = requests[0].path;
          seen["path"] = path.substr(path.rfind('/') + 1);
          const auto query = requests[0].query.find(kAccount);
          if (query != requests[0].query.end()) seen["query"] = query->second;
        }
      } catch (const std::exception& error) {
        seen["error"] = error.what();
      }
      seen["log"] = testing::internal::GetCapturedStdout();
      return seen.dump();
    });
    Seen seen;
    const auto parsed = WireJson::parse(child.output, nullptr, false);
    EXPECT_EQ(child.exitCode, 0);
    EXPECT_TRUE(parsed.is_object() && !parsed.contains("error")) << child.output;
    if (!parsed.is_object()) return seen;
    seen.pathId = parsed.value("path", "");
    seen.queryId = parsed.value("query", "");
    seen.log = parsed.value("log", "");
    seen.madeNew = seen.log.find(kMadeNew) != std::string::npos;
    return seen;
  }

  // Stores as an earlier version left them: the keyring's item alone, the file's alone, or both.
  void prepare(const IdentityCase& c) const {
    const auto child = runInChild([&] {
      setenv("DBUS_SESSION_BUS_ADDRESS", keyringBus_.c_str(), 1);
      const auto keyring = platform::makeSecretServiceKeychain(std::chrono::milliseconds(20000));
      const std::string server = platform::bundle::kBundleIdentifier;
      (void)keyring->remove(server, kAccount);
      if (c.inKeyring && keyring->add(server, kAccount, *c.inKeyring) != platform::keychain_status::kSuccess) {
        return std::string("the keyring refused the item");
      }
      if (c.inFile && platform::makeFileKeychain(platform::defaultKeychainFile())->add(server, kAccount, *c.inFile) !=
                          platform::keychain_status::kSuccess) {
        return std::string("the file store refused the item");
      }
      return std::string("ready");
    });
    EXPECT_EQ(child.output, "ready");
  }

 private:
  const std::string keyringBus_;
  const std::string busWithoutIt_;
  const std::filesystem::path nobodyListens_;
};

void spoil(FileStore how) {
  const auto file = platform::defaultKeychainFile();
  std::error_code ignored;
  switch (how) {
    case FileStore::asLeft:
      return;
    case FileStore::damaged:
      std::filesystem::create_directories(file.parent_path(), ignored);
      ASSERT_TRUE(platform::replaceFileAtomically(file, "[{\"server\": \"io.", 0600));
      return;
    case FileStore::unreadable:
      std::filesystem::remove(file, ignored);
      std::filesystem::create_directories(file);  // a folder where the file should be
      return;
  }
}

const char* describe(Keyring keyring) {
  switch (keyring) {
    case Keyring::present:
      return "keyring present";
    case Keyring::noBus:
      return "no session bus";
    case Keyring::busWithoutIt:
      return "a bus without a keyring";
  }
  return "";
}

TEST(DeviceIdentity, OneIdentifierWhicheverStoreAnswersAtEachStart) {
  if (!std::getenv(kInsideSession)) {
    // Run this very test again inside a session bus of its own with an unlocked keyring: the
    // suite's keyring is shared with tests running at the same time.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string inner =
        "echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1; exec \"$0\" \"$1\"";
    const std::string command = std::string(kInsideSession) + "=1 dbus-run-session -- sh -c " + shellQuote(inner) +
                                " " + shellQuote(self) +
                                " --gtest_filter=DeviceIdentity.OneIdentifierWhicheverStoreAnswersAtEachStart";
    const auto rerun = runCommand(command + " 2>&1");
    EXPECT_EQ(rerun.exitCode, 0) << rerun.output;
    EXPECT_NE(rerun.output.find("[  PASSED  ] 1 test"), std::string::npos) << rerun.output;
    return;
  }
  const char* keyringBus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  ASSERT_NE(keyringBus, nullptr);
  TempDir busDir;
  BusWithoutSecretService otherBus(busDir.path());
  ASSERT_TRUE(otherBus.running()) << "dbus-daemon did not start";
  const Starts starts(keyringBus, otherBus.address(), busDir.path() / "nobody-listens");

  using enum Keyring;
  const std::string k = "0123456789abcdef0123456789abcdef";
  const std::string f = "fedcba9876543210fedcba9876543210";
  const std::vector<IdentityCase> cases = {
      {"present, absent, back, absent again", {}, {},
       {{present, "A", true}, {noBus, "A", false}, {present, "A", false}, {busWithoutIt, "A", false}}},
      {"absent at the first start", {}, {}, {{busWithoutIt, "A", true}, {present, "A", false}, {noBus, "A", false}}},
      {"an earlier version's identifier in the keyring alone", k, {}, {{present, k, false}, {busWithoutIt, k, false}}},
      {"an earlier version's identifier in the file alone", {}, f, {{present, f, false}, {noBus, f, false}}},
      {"earlier starts left one in each: the keyring's is the older", k, f, {{present, k, false}, {noBus, k, false}}},
      {"damaged file store", {}, {},
       {{present, "A", true},
        {present, "A", false, FileStore::damaged},
        {noBus, "A", false},
        // Nothing to read it from: a new one, said in the log; the keyring's comes back with it.
        {noBus, "B", true, FileStore::damaged},
        {present, "A", false}}},
      {"unreadable file store", {}, {},
       {{present, "A", true},
        {present, "A", false, FileStore::unreadable},
        {noBus, "B", true},
        {present, "A", false}}},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A fresh installation for each case: its own data and settings folders.
    TempDir home;
    setenv("XDG_DATA_HOME", (home.path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() / "config").c_str(), 1);
    starts.prepare(c);

    std::map<std::string, std::string> named;
    for (std::size_t i = 0; i < c.starts.size(); ++i) {
      const Start& s = c.starts[i];
      SCOPED_TRACE("start " + std::to_string(i + 1) + ", " + describe(s.keyring));
      spoil(s.file);
      const Seen seen = starts.start(s.keyring);
      ASSERT_EQ(seen.pathId.size(), 32u) << seen.log;
      EXPECT_EQ(seen.queryId, seen.pathId);
      EXPECT_EQ(seen.madeNew, s.madeNew) << seen.log;
      const bool literal = s.id.size() == 32;
      const auto [known, first] = named.emplace(s.id, literal ? s.id : seen.pathId);
      EXPECT_EQ(seen.pathId, known->second) << seen.log;
      if (first && !literal) {
        for (const auto& [name, id] : named) {
          if (name != s.id) {
            EXPECT_NE(id, seen.pathId) << "a new identifier was expected, not " << name;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnel::test
