#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "platform/BundleConfig.h"
#include "platform/Keychain.h"
#include "platform/XdgPaths.h"
#include "platform/AtomicFile.h"
#include "services/common/DeviceInfo.h"
#include "services/common/KeychainManager.h"
#include "services/common/Store.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestHome.h"

namespace tarnel {
namespace {

namespace status = platform::keychain_status;
using namespace std::chrono_literals;

constexpr const char* kPrivateBusMarker = "TARNEL_KEYCHAIN_TEST_PRIVATE_BUS";

// Points the session bus of this process somewhere nobody listens, and puts it back afterwards.
class NoSessionBus {
 public:
  explicit NoSessionBus(const std::filesystem::path& dir) {
    if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) saved_ = old;
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (dir / "nobody-listens").string()).c_str(), 1);
  }
  ~NoSessionBus() {
    if (saved_) {
      setenv("DBUS_SESSION_BUS_ADDRESS", saved_->c_str(), 1);
    } else {
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
  }

 private:
  std::optional<std::string> saved_;
};

std::string uniqueServer() {
  std::random_device random;
  return "io.tarnelmacos.test." + std::to_string(::getpid()) + "." + std::to_string(random());
}

// The same contract for every store: add never replaces, find gives exactly what was added.
void expectKeychainContract(platform::Keychain& keychain, const std::string& server) {
  EXPECT_EQ(keychain.find(server, "device_id").status, status::kItemNotFound);
  EXPECT_EQ(keychain.add(server, "device_id", "0123456789abcdef0123456789abcdef"), status::kSuccess);
  EXPECT_EQ(keychain.add(server, "other", "ünïcödé ✓"), status::kSuccess);
  EXPECT_EQ(keychain.find(server, "device_id").value, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(keychain.find(server, "other").value, "ünïcödé ✓");
  EXPECT_EQ(keychain.add(server, "device_id", "replacement"), status::kDuplicateItem);
  EXPECT_EQ(keychain.find(server, "device_id").value, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(keychain.find(server + ".elsewhere", "device_id").status, status::kItemNotFound);
  EXPECT_EQ(keychain.remove(server, "device_id"), status::kSuccess);
  EXPECT_EQ(keychain.remove(server, "other"), status::kSuccess);
  EXPECT_EQ(keychain.find(server, "device_id").status, status::kItemNotFound);
  EXPECT_EQ(keychain.remove(server, "device_id"), status::kItemNotFound);
}

TEST(Keychain, FileStoreWhenNoSecretServiceAnswers) {
  test::TempDir dir;
  NoSessionBus noBus(dir.path());
  const auto started = std::chrono::steady_clock::now();
  const auto keychain = platform::openKeychain(1500ms);
  // Within the probe's bound, not the bus's own time-out of 25 s.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  ASSERT_STREQ(keychain->backendName(), "file");
  expectKeychainContract(*keychain, uniqueServer());

  // The file: private, beside the data, not in the settings folder, kept by "Clear Cache".
  const auto file = platform::defaultKeychainFile();
  EXPECT_EQ(file.parent_path(), platform::dataHome() / platform::bundle::kBundleIdentifier);
  ASSERT_EQ(keychain->add("io.tarnelmacos", "device_id", "kept-across-clear"), status::kSuccess);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(file.parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  Store::setValue(StoreKeys::USER_ID, "someone");
  ASSERT_TRUE(Store::clearAll());
  EXPECT_EQ(platform::openKeychain(1500ms)->find("io.tarnelmacos", "device_id").value, "kept-across-clear");
}

TEST(Keychain, FileStoreIsSharedBetweenProcesses) {
  test::TempDir dir;
  const auto file = dir.path() / "keys" / "keychain.json";
  const auto child = test::runInChild([&] {
    return std::to_string(platform::makeFileKeychain(file)->add("srv", "device_id", "from-the-child"));
  });
  EXPECT_EQ(child.output, std::to_string(status::kSuccess));
  const auto keychain = platform::makeFileKeychain(file);
  EXPECT_EQ(keychain->find("srv", "device_id").value, "from-the-child");
  EXPECT_EQ(keychain->add("srv", "device_id", "second"), status::kDuplicateItem);
}

TEST(Keychain, UnreadableFileStoreAnswersWithAnErrorNotAnEmptyKeychain) {
  test::TempDir dir;
  const auto file = dir.path() / "keychain.json";
  std::filesystem::create_directories(file);  // a folder where the file should be
  const auto keychain = platform::makeFileKeychain(file);
  EXPECT_EQ(keychain->find("srv", "device_id").status, status::kIO);
  EXPECT_EQ(keychain->add("srv", "device_id", "x"), status::kIO);
}

TEST(Keychain, SecretServiceRoundTrip) {
  // A service that is there answers at once; the bound is for one that hangs.
  if (!platform::secretServiceAnswers(30s)) {
    ASSERT_EQ(std::getenv(kPrivateBusMarker), nullptr) << "no Secret Service even on a private session bus";
    // Run this very test again inside a private session bus with an unlocked keyring.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string inner =
        "echo -n test | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1; exec \"$0\" \"$1\"";
    const std::string command = std::string(kPrivateBusMarker) + "=1 dbus-run-session -- sh -c " +
                                test::shellQuote(inner) + " " + test::shellQuote(self) +
                                " --gtest_filter=Keychain.SecretServiceRoundTrip";
    const auto rerun = test::runCommand(command + " 2>&1");
    EXPECT_EQ(rerun.exitCode, 0) << "on a private session bus:\n" << rerun.output;
    EXPECT_NE(rerun.output.find("[  PASSED  ] 1 test"), std::string::npos) << rerun.output;
    return;
  }
  const auto keychain = platform::makeSecretServiceKeychain();
  ASSERT_STREQ(keychain->backendName(), "secret-service");
  const std::string server = uniqueServer();
  expectKeychainContract(*keychain, server);

  // The item really lives in the Secret Service: another client finds it by its attributes.
  KeychainManager manager(keychain, server);
  EXPECT_EQ(manager.getValue(server, "device_id"), "");
  EXPECT_TRUE(manager.setValue(server, "device_id", "abcdef0123456789abcdef0123456789"));
  const auto lookedUp =
      test::commandOutput("secret-tool lookup server " + test::shellQuote(server) + " user device_id");
  ASSERT_TRUE(lookedUp.has_value()) << "secret-tool lookup failed";
  EXPECT_EQ(*lookedUp, "abcdef0123456789abcdef0123456789");

  testing::internal::CaptureStdout();
  EXPECT_FALSE(manager.setValue(server, "device_id", "another"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Error save cer to keychain. Error: -25299\n");
  EXPECT_EQ(manager.getValue(server, "device_id"), "abcdef0123456789abcdef0123456789");
  EXPECT_EQ(keychain->remove(server, "device_id"), status::kSuccess);

  // The session's keychain is the Secret Service when it answers.
  EXPECT_STREQ(platform::openKeychain(30s)->backendName(), "secret-service");
}

TEST(KeychainManager, DuplicateAddPrintsTheStatusAndKeepsTheOldValue) {
  test::TempDir dir;
  KeychainManager manager(platform::makeFileKeychain(dir.path() / "k.json"), "io.tarnelmacos");
  EXPECT_EQ(manager.flag(), "io.tarnelmacos");
  EXPECT_EQ(manager.getValue("io.tarnelmacos", "device_id"), "");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(manager.setValue("io.tarnelmacos", "device_id", "first"));
  EXPECT_FALSE(manager.setValue("io.tarnelmacos", "device_id", "second"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Error save cer to keychain. Error: -25299\n");
  EXPECT_EQ(manager.getValue("io.tarnelmacos", "device_id"), "first");
}

// An in-memory keychain that can stop answering, as a Secret Service that is not up.
class MemoryKeychain final : public platform::Keychain {
 public:
  platform::KeychainLookup find(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (!answering) return {status::kNotAvailable, std::nullopt};
    const auto it = items.find({server, account});
    if (it == items.end()) return {status::kItemNotFound, std::nullopt};
    return {status::kSuccess, it->second};
  }
  std::int32_t add(const std::string& server, const std::string& account, const std::string& value) override {
    std::lock_guard lock(mutex_);
    if (!answering) return status::kNotAvailable;
    return items.emplace(std::make_pair(server, account), value).second ? status::kSuccess : status::kDuplicateItem;
  }
  std::int32_t remove(const std::string& server, const std::string& account) override {
    std::lock_guard lock(mutex_);
    if (!answering) return status::kNotAvailable;
    return items.erase({server, account}) ? status::kSuccess : status::kItemNotFound;
  }
  const char* backendName() const override { return "memory"; }

  bool answering = true;
  std::map<std::pair<std::string, std::string>, std::string> items;

 private:
  std::mutex mutex_;
};

// What the keychain protects moves into the keyring and leaves the file; the device identity,
// which protects nothing, is kept in both, so that a run without the keyring reads it too.
TEST(Keychain, LayeredStoreMovesSecretsIntoTheKeyringAndKeepsTheIdentityInBoth) {
  test::TempDir dir;
  const auto file = dir.path() / "keychain.json";
  const auto keyring = std::make_shared<MemoryKeychain>();
  ASSERT_EQ(platform::makeFileKeychain(file)->add("srv", "token", "s3cret"), status::kSuccess);
  ASSERT_EQ(platform::makeFileKeychain(file)->add("srv", "device_id", "id-from-a-run-without-keyring"),
            status::kSuccess);
  const auto layered = platform::makeLayeredKeychain(keyring, platform::makeFileKeychain(file), {"device_id"});
  const auto inFile = [&](const std::string& account) {
    return platform::makeFileKeychain(file)->find("srv", account);
  };

  EXPECT_EQ(layered->find("srv", "token").value, "s3cret");
  EXPECT_EQ(keyring->items.at({"srv", "token"}), "s3cret");
  EXPECT_EQ(inFile("token").status, status::kItemNotFound);
  EXPECT_EQ(layered->add("srv", "other", "also secret"), status::kSuccess);
  EXPECT_EQ(inFile("other").status, status::kItemNotFound);

  EXPECT_EQ(layered->find("srv", "device_id").value, "id-from-a-run-without-keyring");
  EXPECT_EQ(keyring->items.at({"srv", "device_id"}), "id-from-a-run-without-keyring");
  EXPECT_EQ(inFile("device_id").value, "id-from-a-run-without-keyring");
  EXPECT_EQ(layered->remove("srv", "device_id"), status::kSuccess);
  EXPECT_EQ(layered->add("srv", "device_id", "fresh"), status::kSuccess);
  EXPECT_EQ(inFile("device_id").value, "fresh");

  // A secret in both stores: the keyring's wins and the file's is left alone.
  ASSERT_EQ(platform::makeFileKeychain(file)->add("srv", "both", "from-file"), status::kSuccess);
  keyring->items[{"srv", "both"}] = "from-keyring";
  EXPECT_EQ(layered->find("srv", "both").value, "from-keyring");
  EXPECT_EQ(inFile("both").value, "from-file");
  EXPECT_EQ(layered->remove("srv", "both"), status::kSuccess);
  EXPECT_EQ(layered->find("srv", "both").status, status::kItemNotFound);
}

struct DamageCase {
  std::string name;
  std::string content;  // of the file store
  bool setAside;        // the whole file is damaged (not a list of items)
};

// A damaged identity item is removed and replaced once; every later run reads the replacement.
// A damaged store file is set aside (never over an earlier copy), not written over.
TEST(Keychain, AnUnreadableIdentityIsReplacedOnceAndTheDamageSetAside) {
  const std::vector<DamageCase> cases = {
      {"not JSON", "{\"server\": \"srv\", trunc", true},
      {"a top-level object", R"({"server":"srv","account":"device_id","value":"abc"})", true},
      {"an empty file", "", true},
      {"value not a text", R"([{"server":"srv","account":"device_id","value":42},{"server":"srv","account":"x","value":"kept"}])", false},
      {"a lone surrogate", "[{\"server\":\"srv\",\"account\":\"device_id\",\"value\":\"\\udc80\"}]", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const auto file = dir.path() / "keychain.json";
    ASSERT_TRUE(platform::replaceFileAtomically(file, c.content, 0600));
    // An earlier set-aside copy must survive.
    ASSERT_TRUE(platform::replaceFileAtomically(std::filesystem::path(file.string() + ".damaged"), "earlier", 0600));

    std::vector<std::string> identities;
    for (int run = 0; run < 3; ++run) {
      KeychainManager manager(platform::makeFileKeychain(file), "srv");
      identities.push_back(DeviceIdentifier(manager, "srv").value());
    }
    EXPECT_EQ(identities[0].size(), 32u);
    EXPECT_EQ(identities[1], identities[0]);
    EXPECT_EQ(identities[2], identities[0]);
    EXPECT_EQ(platform::readWholeFile(std::filesystem::path(file.string() + ".damaged"))->bytes, "earlier");
    const auto aside = platform::readWholeFile(std::filesystem::path(file.string() + ".damaged.1"));
    EXPECT_EQ(aside.has_value(), c.setAside);
    if (aside) {
      EXPECT_EQ(aside->bytes, c.content);
    }
    if (c.name == "value not a text") {
      EXPECT_EQ(platform::makeFileKeychain(file)->find("srv", "x").value, "kept") << "other items stay";
    }
  }

  // A keyring item whose value is not UTF-8 text goes the same way.
  const auto keyring = std::make_shared<MemoryKeychain>();
  keyring->items[{"srv", "device_id"}] = "\xff\xfe";
  std::vector<std::string> identities;
  for (int run = 0; run < 2; ++run) {
    KeychainManager manager(keyring, "srv");
    identities.push_back(DeviceIdentifier(manager, "srv").value());
  }
  EXPECT_EQ(identities[0].size(), 32u);
  EXPECT_EQ(identities[1], identities[0]);
  EXPECT_EQ(keyring->items.at({"srv", "device_id"}), identities[0]);
}

}  // namespace
}  // namespace tarnel
