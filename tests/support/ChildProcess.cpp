#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "core/engine/UniqueFd.h"
#include "platform/UserDefaults.h"

namespace tarnel::test {

ChildResult runInChild(const std::function<std::string()>& body) {
  // The settings are written behind by a thread that runs while something is unwritten: written
  // now, it has ended, and the child starts from the settings as they are on disk.
  platform::UserDefaults::flushAll();
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return {};
  }
  if (pid == 0) {
    ::close(fds[0]);
    int code = 0;
    std::string out;
    try {
      out = body();
    } catch (...) {
      code = 3;
    }
    std::string_view rest = out;
    while (!rest.empty()) {
      const ssize_t n = ::write(fds[1], rest.data(), rest.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fds[1]);
    // The child ends as the program does: what it stored is in the settings file.
    platform::UserDefaults::flushAll();
    std::fflush(stdout);
    ::_exit(code);
  }
  ::close(fds[1]);
  ChildResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

ChildResult runCommand(const std::string& command) {
  ChildResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = ::pclose(pipe);
  result.exitCode = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
  return result;
}

int runCommand(const std::string& command, std::string* output) {
  const auto result = runCommand(command);
  if (output != nullptr) output->append(result.output);
  return result.exitCode;
}

std::optional<std::string> commandOutput(const std::string& command) {
  auto result = runCommand(command);
  if (result.exitCode != 0) return std::nullopt;
  return std::move(result.output);
}

// A file under /proc/<pid>, read whole; nothing when the process ended before or while it was read
// (a read then fails with ESRCH, which the standard streams report by throwing).
static std::optional<std::string> readProcessFile(const std::filesystem::path& path) {
  const helmsey::engine::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return text;
    if (got < 0 && errno != EINTR) return std::nullopt;
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  }
}

std::vector<ProcessEntry> childrenOf(pid_t parent) {
  std::vector<ProcessEntry> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto statText = readProcessFile(entry.path() / "stat");
    if (!statText) continue;  // gone meanwhile
    const std::string& stat = *statText;
    // pid (name) state ppid ...: the name may hold spaces and parentheses, so read past the last.
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::istringstream rest(stat.substr(close + 1));
    ProcessEntry process;
    pid_t ppid = 0;
    rest >> process.state >> ppid;
    if (ppid != parent || process.state == "Z") continue;
    process.pid = static_cast<pid_t>(std::stol(name));
    process.name = stat.substr(open + 1, close - open - 1);
    const auto command = readProcessFile(entry.path() / "cmdline");
    if (!command) continue;  // gone meanwhile
    process.command = *command;
    for (char& c : process.command) {
      if (c == '\0') c = ' ';
    }
    children.push_back(std::move(process));
  }
  return children;
}

std::string shellQuote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted.push_back(c);
    }
  }
  quoted.push_back('\'');
  return quoted;
}

}  // namespace tarnel::test
