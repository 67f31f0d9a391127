#include "ui/info/PackageInstaller.h"

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace lumora {

namespace {
constexpr std::chrono::milliseconds kWatchInterval{50};
}

PackageInstaller::PackageInstaller(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
  watch_.setInterval(kWatchInterval);
  connect(&watch_, &QTimer::timeout, this, &PackageInstaller::poll);
  settled_.setSingleShot(true);
  // Still running after a while: the opener is the installer's own process, which has the file.
  connect(&settled_, &QTimer::timeout, this, [this] { settle(true); });
}

void PackageInstaller::open(const QString& path, Answer answer) {
  settle(false);
  answer_ = std::move(answer);
  std::vector<std::string> words{options_.program.toStdString()};
  for (const QString& argument : options_.arguments) words.push_back(argument.toStdString());
  words.push_back(path.toStdString());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    settle(false);
    return;
  }
  child_ = pid;
  watch_.start();
  settled_.start(options_.settle);
}

void PackageInstaller::poll() {
  if (child_ < 0) return;
  int status = 0;
  const pid_t ended = ::waitpid(child_, &status, WNOHANG);
  if (ended == 0) return;
  child_ = -1;
  settle(ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

void PackageInstaller::settle(bool installerHasIt) {
  watch_.stop();
  settled_.stop();
  // A child still running is left to itself (reaped by the system once the program is gone).
  child_ = -1;
  Answer answer = std::exchange(answer_, nullptr);
  if (answer) answer(installerHasIt);
}

}  // namespace lumora
