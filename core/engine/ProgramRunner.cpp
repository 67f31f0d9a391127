#include "core/engine/ProgramRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/engine/ChildProcess.h"
#include "core/engine/UniqueFd.h"

extern char** environ;

namespace helmsey::engine {

std::optional<ProgramResult> runProgram(const std::vector<std::string>& command, std::chrono::milliseconds timeout) {
  if (command.empty()) return std::nullopt;
  const auto program = findProgram(command.front());
  if (!program) return std::nullopt;
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return std::nullopt;
  UniqueFd readEnd(pipeFds[0]), writeEnd(pipeFds[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> words = command;
  words.front() = program->string();
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, words.front().c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  writeEnd.reset();
  if (spawned != 0) return std::nullopt;

  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool timedOut = false;
  char buffer[4096];
  for (;;) {
    // Rounded up: a wait cut to the millisecond below would end the time-out early.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{readEnd.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
    if (n > 0) {
      result.output.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  // A program that closed its output may still be running: it gets the rest of the time. Its
  // end is an event (the process descriptor becomes readable); not polled on a fixed period.
  UniqueFd exited(timedOut ? -1 : static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  int status = 0;
  while (!timedOut) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return std::nullopt;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    if (exited.valid()) {
      pollfd p{exited.get(), POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
    } else {
      ::usleep(1000);  // a kernel without process descriptors
    }
  }
  if (timedOut) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return std::nullopt;
  }
  if (!WIFEXITED(status)) return std::nullopt;
  result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace helmsey::engine
