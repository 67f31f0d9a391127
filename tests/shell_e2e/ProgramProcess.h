#pragma once

// The real program in a process of its own, for the ways out that end a process: a signal, the
// display going away. The process is this test executable again, running one hidden scenario
// that plays the program; it shares a folder with the test, in which it finds the desktop's
// proxy settings (a stand-in for GNOME's settings tool over files) and says how far it got.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/TestHome.h"

namespace lumora::test {

// The environment variable that hands the shared folder to the program's process.
constexpr const char* kProgramFolder = "TARNEL_E2E_PROGRAM_DIR";

using DesktopSettings = std::map<std::string, std::string>;

// A desktop with a proxy of its own before the program touches it.
inline const DesktopSettings kDesktopBefore{{"org.gnome.system.proxy mode", "'auto'"},
                                            {"org.gnome.system.proxy.http host", "'corp-proxy.example'"},
                                            {"org.gnome.system.proxy.http port", "3128"},
                                            {"org.gnome.system.proxy.https host", "''"},
                                            {"org.gnome.system.proxy.https port", "0"},
                                            {"org.gnome.system.proxy.socks host", "''"},
                                            {"org.gnome.system.proxy.socks port", "0"}};

inline std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The settings as the stand-in keeps them: one file per schema and key.
inline DesktopSettings readDesktopSettings(const std::filesystem::path& db) {
  DesktopSettings settings;
  for (const auto& entry : std::filesystem::directory_iterator(db)) {
    settings[entry.path().filename().string()] = readText(entry.path());
  }
  return settings;
}

class ProgramProcess {
 public:
  // Makes the shared folder with the desktop's settings as `kDesktopBefore` has them.
  ProgramProcess() {
    std::filesystem::create_directories(db());
    std::filesystem::create_directories(folder() / "bin");
    std::filesystem::create_directories(folder() / "tmp");
    for (const auto& [name, value] : kDesktopBefore) std::ofstream(db() / name) << value;
    // GNOME's settings tool over the folder. While the file "hold-set" exists a write waits,
    // having said so with the file "held": the test catches the program while it changes the
    // desktop's proxy.
    const auto tool = folder() / "bin" / "gsettings";
    std::ofstream(tool) << "#!/bin/sh\n"
                        << "db='" << db().string() << "'\n"
                        << "cd '" << folder().string() << "' || exit 1\n"
                        << "case \"$1\" in\n"
                        << "  get) cat \"$db/$2 $3\" 2>/dev/null || exit 1 ;;\n"
                        << "  set) if [ -e hold-set ]; then : > held; while [ -e hold-set ]; do sleep 0.02; done; fi\n"
                        << "       printf '%s' \"$4\" > \"$db/$2 $3\" ;;\n"
                        << "  *) exit 1 ;;\nesac\n";
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  }

  ~ProgramProcess() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  const std::filesystem::path& folder() const { return dir_.path(); }
  std::filesystem::path db() const { return folder() / "db"; }
  DesktopSettings desktop() const { return readDesktopSettings(db()); }
  std::string log() const { return readText(folder() / "program.log"); }
  pid_t pid() const { return pid_; }

  // Starts this executable on the hidden scenario `filter` (a full gtest name), with `extra`
  // variables besides the folder, the stand-in on PATH and a GNOME desktop. Its home and temporary
  // files are made inside the folder.
  void start(const std::string& filter, const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    const std::string path = (folder() / "bin").string() + ":" + std::getenv("PATH");
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string logFile = (folder() / "program.log").string();
    const std::string filterFlag = "--gtest_filter=" + filter;
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(127);
      const int out = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(out, STDERR_FILENO);
      ::setenv(kProgramFolder, folder().c_str(), 1);
      ::setenv("TMPDIR", (folder() / "tmp").c_str(), 1);
      ::setenv("PATH", path.c_str(), 1);
      ::setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
      for (const auto& [name, value] : extra) ::setenv(name.c_str(), value.c_str(), 1);
      ::execl(self.c_str(), self.c_str(), "--gtest_also_run_disabled_tests", filterFlag.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }

  // Waits until the program wrote the file `name` into the folder (true) or ended first (false).
  // The bound is for a program that works: generous.
  bool waitForFile(const std::string& name, std::chrono::seconds bound = std::chrono::seconds(120)) {
    for (const auto deadline = std::chrono::steady_clock::now() + bound; std::chrono::steady_clock::now() < deadline;) {
      if (std::filesystem::exists(folder() / name)) return true;
      if (poll()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // Waits until the program's output holds `text`; false when it ended or the bound passed first.
  bool waitForOutput(const std::string& text, std::chrono::seconds bound = std::chrono::seconds(120)) {
    for (const auto deadline = std::chrono::steady_clock::now() + bound; std::chrono::steady_clock::now() < deadline;) {
      if (log().find(text) != std::string::npos) return true;
      if (poll()) return log().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // The wait status once the program ended within `bound`; none when it still runs (it is left
  // running: the caller decides).
  std::optional<int> waitForEnd(std::chrono::milliseconds bound) {
    for (const auto deadline = std::chrono::steady_clock::now() + bound;;) {
      if (poll()) return status_;
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  bool poll() {
    if (ended_) return true;
    if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return ended_;
  }

  tarnel::test::TempDir dir_;
  pid_t pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

// How a process ended, for messages.
inline std::string describeEnd(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace lumora::test
