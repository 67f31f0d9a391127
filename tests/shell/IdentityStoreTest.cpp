// The device identity's store at start: a Secret Service that answers but waits for a prompt no
// one answers (a session without a default keyring asks for the new keyring's password) cannot
// hold the start; the identity goes to the file store as when no Secret Service answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Keychain.h"
#include "tests/shell_e2e/XServer.h"
#include "tests/support/ChildProcess.h"

namespace lumora::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kInsideSession = "TARNEL_PROMPTING_KEYRING_SESSION";

TEST(IdentityStore, AKeyringThatPromptsFallsBackToTheFileWithinTheBound) {
  if (!std::getenv(kInsideSession)) {
    // Run this very test again in a session of its own: a bus, a keyring daemon with no keyring
    // yet, and a display on which its password prompt opens and waits.
    std::unique_ptr<XServer> screen;
    try {
      screen = std::make_unique<XServer>();
    } catch (const std::exception& error) {
      FAIL() << error.what();
    }
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string inner = "gnome-keyring-daemon --start --components=secrets >/dev/null 2>&1; exec \"$0\" \"$1\"";
    // A call the prompt holds past its bound is left running on a thread of its own, by design;
    // when the run ends it may still be inside libsecret, whose allocations the leak checker of
    // an AddressSanitizer build would then report as leaks of this process.
    const std::string command = "timeout 120 env " + std::string(kInsideSession) +
                                "=1 ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:detect_leaks=0\" dbus-run-session -- sh -c " +
                                tarnel::test::shellQuote(inner) + " " + tarnel::test::shellQuote(self) +
                                " --gtest_filter=IdentityStore.AKeyringThatPromptsFallsBackToTheFileWithinTheBound";
    const auto rerun = tarnel::test::runCommand(command + " 2>&1");
    EXPECT_EQ(rerun.exitCode, 0) << rerun.output;
    EXPECT_NE(rerun.output.find("[  PASSED  ] 1 test"), std::string::npos) << rerun.output;
    return;
  }
  ASSERT_TRUE(platform::secretServiceAnswers(30s)) << "the keyring daemon did not come up";
  constexpr auto kCallBound = 3s;
  const auto keychain = platform::openKeychain(kCallBound);
  ASSERT_STREQ(keychain->backendName(), "secret-service");

  // The prompt waits until the session's end: the add ends at its bound instead.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(keychain->add("io.tarnelmacos", "device_id", "0123456789abcdef"), platform::keychain_status::kSuccess);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
  // The calls after it do not wait for the service again: that would take another bound.
  const auto found = std::chrono::steady_clock::now();
  EXPECT_EQ(keychain->find("io.tarnelmacos", "device_id").value, "0123456789abcdef");
  EXPECT_LT(std::chrono::steady_clock::now() - found, kCallBound);
  EXPECT_EQ(platform::makeFileKeychain(platform::defaultKeychainFile())->find("io.tarnelmacos", "device_id").value,
            "0123456789abcdef");
}

}  // namespace
}  // namespace lumora::test
