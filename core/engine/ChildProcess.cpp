#include "core/engine/ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

extern char** environ;

namespace helmsey::engine {
namespace {

constexpr auto kInputDeadline = std::chrono::seconds(5);

// A parent-death signal belongs to the thread that forked, not to the process: a child forked
// by a short-lived worker would be killed when that worker ends. So every child is forked by
// this one thread, which lives until the process ends.
class Launcher {
 public:
  static Launcher& shared() {
    static Launcher launcher;
    return launcher;
  }

  template <class F>
  auto run(F job) -> decltype(job()) {
    using Result = decltype(job());
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(job));
    auto future = task->get_future();
    {
      std::lock_guard lock(mutex_);
      jobs_.emplace_back([task] { (*task)(); });
    }
    wake_.notify_one();
    return future.get();
  }

 private:
  Launcher() : thread_([this] { loop(); }) {}
  ~Launcher() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

  void loop() {
    // Writing a configuration to a child that already died must fail with EPIPE, not kill us.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

struct Started {
  pid_t pid = -1;
  UniqueFd output;
  UniqueFd exitFd;
  std::string error;
};

void consumePendingPipeSignal() {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  const timespec zero{0, 0};
  while (sigtimedwait(&pipeSignal, nullptr, &zero) == SIGPIPE) {
  }
}

// Hands `input` to the child; a child that stops reading (or dies) ends the hand-over.
void writeInput(int fd, const std::string& input) {
  const auto deadline = std::chrono::steady_clock::now() + kInputDeadline;
  std::size_t done = 0;
  while (done < input.size()) {
    const ssize_t n = ::write(fd, input.data() + done, input.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, static_cast<int>(left.count()));
      continue;
    }
    if (n < 0 && errno == EPIPE) consumePendingPipeSignal();
    return;
  }
}

// Child side, after the fork: only system calls. Drops to `identity`, keeping the network
// administration capability (transparent sockets and firewall marks) and nothing else.
bool becomeIdentity(const ChildProcess::Identity& identity) {
  if (identity.networkAdministration && ::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0) return false;
  if (::setgroups(0, nullptr) != 0) return false;
  if (::setresgid(identity.gid, identity.gid, identity.gid) != 0) return false;
  if (::setresuid(identity.uid, identity.uid, identity.uid) != 0) return false;
  if (!identity.networkAdministration) return true;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  const unsigned bit = 1U << CAP_NET_ADMIN;  // below 32: the first word
  data[0].effective = bit;
  data[0].permitted = bit;
  data[0].inheritable = bit;
  if (::syscall(SYS_capset, &header, data) != 0) return false;
  if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0) != 0) return false;
  return ::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) == 0;
}

Started launch(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::string& input, const std::optional<ChildProcess::Identity>& identity) {
  Started result;
  int inPipe[2];
  int outPipe[2];
  int execPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) != 0) {
    result.error = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  UniqueFd inRead(inPipe[0]), inWrite(inPipe[1]);
  if (::pipe2(outPipe, O_CLOEXEC) != 0) {
    result.error = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
  if (::pipe2(execPipe, O_CLOEXEC) != 0) {
    result.error = std::string("pipe: ") + std::strerror(errno);
    return result;
  }
  UniqueFd execRead(execPipe[0]), execWrite(execPipe[1]);

  // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
  const std::string path = program.string();
  std::vector<std::string> words;
  words.push_back(path);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();

  const pid_t pid = ::fork();
  if (pid < 0) {
    result.error = std::string("fork: ") + std::strerror(errno);
    return result;
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    if (identity && !becomeIdentity(*identity)) {
      const int error = errno != 0 ? errno : EPERM;
      [[maybe_unused]] const ssize_t ignored = ::write(execWrite.get(), &error, sizeof error);
      ::_exit(127);
    }
    // After the change of identity: a change of credentials clears the parent-death signal.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(inRead.get(), STDIN_FILENO);
    ::dup2(outWrite.get(), STDOUT_FILENO);
    ::dup2(outWrite.get(), STDERR_FILENO);
    const int execReport = ::dup2(execWrite.get(), 3);
    if (execReport == 3) ::fcntl(3, F_SETFD, FD_CLOEXEC);
    ::syscall(SYS_close_range, 4U, ~0U, 0U);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(path.c_str(), argv.data(), environ);
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(3, &error, sizeof error);
    ::_exit(127);
  }
  ::setpgid(pid, pid);  // also here, so a stop sent at once reaches the group
  inRead.reset();
  outWrite.reset();
  execWrite.reset();

  int execError = 0;
  ssize_t n;
  do {
    n = ::read(execRead.get(), &execError, sizeof execError);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof execError)) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.error = "cannot run " + path + ": " + std::strerror(execError);
    return result;
  }

  UniqueFd exitFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!exitFd.valid()) {
    result.error = std::string("pidfd_open: ") + std::strerror(errno);
    ::kill(-pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return result;
  }
  ::fcntl(inWrite.get(), F_SETFL, O_NONBLOCK);
  writeInput(inWrite.get(), input);
  inWrite.reset();
  ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
  result.pid = pid;
  result.output = std::move(outRead);
  result.exitFd = std::move(exitFd);
  return result;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::string& input, std::string& error,
                                                  const std::optional<Identity>& identity) {
  Started started = Launcher::shared().run([&] { return launch(program, arguments, input, identity); });
  if (started.pid < 0) {
    error = started.error;
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(
      new ChildProcess(started.pid, std::move(started.output), std::move(started.exitFd)));
}

void ChildProcess::prepareLauncher() { Launcher::shared(); }

ChildProcess::~ChildProcess() {
  if (!status_) terminate();
}

bool ChildProcess::readOutput(std::string& into) {
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(output_.get(), buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0;  // EAGAIN: more may come; 0: end of file
  }
}

std::optional<int> ChildProcess::poll() {
  if (status_) return status_;
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0) {
    return std::nullopt;
  }
  // The leader is a zombie and still holds its number: anything left in its group goes now.
  ::kill(-pid_, SIGKILL);
  int status = 0;
  if (::waitpid(pid_, &status, 0) == pid_) status_ = status;
  return status_;
}

bool ChildProcess::waitFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (poll()) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{exitFd_.get(), POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(left.count()));
  }
}

int ChildProcess::terminate(std::chrono::milliseconds grace) {
  if (status_) return *status_;
  if (::kill(-pid_, SIGTERM) != 0) ::kill(pid_, SIGTERM);
  if (!waitFor(grace)) {
    if (::kill(-pid_, SIGKILL) != 0) ::kill(pid_, SIGKILL);
    while (!waitFor(std::chrono::milliseconds(1000))) {
    }
  }
  return *status_;
}

std::optional<std::filesystem::path> findProgram(const std::filesystem::path& program) {
  const auto executable = [](const std::filesystem::path& candidate) {
    std::error_code error;
    return std::filesystem::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0;
  };
  if (program.empty()) return std::nullopt;
  if (program.string().find('/') != std::string::npos) {
    if (executable(program)) return program;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = rest.find(':');
    const std::string_view dir = rest.substr(0, colon);
    if (!dir.empty()) {
      const auto candidate = std::filesystem::path(std::string(dir)) / program;
      if (executable(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

std::string describeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::strsignal(signal);
    return "signal " + std::to_string(signal) + " (" + (name != nullptr ? name : "?") + ")";
  }
  return "status " + std::to_string(status);
}

}  // namespace helmsey::engine
