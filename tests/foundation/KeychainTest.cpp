#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/BundleConfig.h"
#include "platform/Keychain.h"
#include "platform/XdgPaths.h"
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
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
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
  if (!platform::secretServiceAnswers(3000ms)) {
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
  EXPECT_STREQ(platform::openKeychain(3000ms)->backendName(), "secret-service");
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

}  // namespace
}  // namespace tarnel
