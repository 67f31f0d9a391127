// The real installation check of tunnel mode against package layouts made in a temporary folder.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>

#include "ui/connection/ExtensionAuthoriser.h"

namespace lumora::test {
namespace {

namespace fs = std::filesystem;

struct Listener {
  explicit Listener(const fs::path& path) {
    fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 1) == 0;
  }
  ~Listener() { ::close(fd); }
  int fd = -1;
  bool bound = false;
};

TEST(TunnelInstallation, OnlyTheInstalledProgramWithItsListeningHostPasses) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const fs::path prefix = fs::path(root.path().toStdString()) / "usr";
  const fs::path bin = prefix / "bin";
  fs::create_directories(bin);
  const fs::path host = PolkitExtensionAuthoriser::hostProgramFor(bin);
  const fs::path socket = fs::path(root.path().toStdString()) / "host.sock";
  const fs::path elsewhere = fs::path(root.path().toStdString()) / "Downloads";
  fs::create_directories(elsewhere);

  auto authoriser = [&](const fs::path& programDirectory) {
    PolkitExtensionAuthoriser::Options options;
    options.programDirectory = programDirectory;
    options.socketPath = socket;
    return PolkitExtensionAuthoriser(options);
  };
  auto problem = [&](const fs::path& programDirectory) { return authoriser(programDirectory).installationProblem(); };
  auto serviceProblem = [&] { return authoriser(bin).serviceProblem(); };

  // Nothing installed yet.
  EXPECT_TRUE(problem(bin).has_value());
  // The host exists but may not run.
  fs::create_directories(host.parent_path());
  std::ofstream(host) << "#!/bin/sh\n";
  EXPECT_TRUE(problem(bin).has_value());
  fs::permissions(host, fs::perms::owner_all);
  // Installed, but its socket does not listen (the unit is not enabled): the installation is
  // sound, its service is what is missing.
  EXPECT_EQ(problem(bin), std::nullopt);
  EXPECT_TRUE(serviceProblem().has_value());
  {
    // A socket file left by a service that stopped: nobody listens on it.
    Listener stale(socket);
    ASSERT_TRUE(stale.bound);
    ::close(stale.fd);
    stale.fd = -1;
    EXPECT_TRUE(serviceProblem().has_value());
    fs::remove(socket);
  }
  Listener listener(socket);
  ASSERT_TRUE(listener.bound);
  EXPECT_EQ(problem(bin), std::nullopt);
  EXPECT_EQ(serviceProblem(), std::nullopt);
  // The same package, but this program was started from somewhere else.
  const auto moved = problem(elsewhere);
  ASSERT_TRUE(moved.has_value());
  EXPECT_TRUE(moved->contains(QString::fromStdString(elsewhere.string())));
}

}  // namespace
}  // namespace lumora::test
