#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/engine/UniqueFd.h"

namespace helmsey::engine {

// One supervised child program. It is started in a process group of its own (so a stop reaches
// everything it started) with a parent-death signal (so it cannot outlive the client), reads
// `input` on standard input (which is then closed), and writes standard output and error into
// one pipe that the owner drains. The object owns the process: its destructor ends and reaps it.
class ChildProcess {
 public:
  // Whom the child runs as when it is not to inherit this process's identity: the user and group
  // (no supplementary groups) and, kept across the change, only the network administration
  // capability (as an ambient capability, so the program itself holds it).
  struct Identity {
    uid_t uid = 0;
    gid_t gid = 0;
    bool networkAdministration = false;
  };

  // Starts `program` (a path; see findProgram) with `arguments`. None on failure, with `error`.
  static std::unique_ptr<ChildProcess> start(const std::filesystem::path& program,
                                             const std::vector<std::string>& arguments,
                                             const std::string& input, std::string& error,
                                             const std::optional<Identity>& identity = std::nullopt);
  // Makes the thread that forks every child. Owners that live in static storage call it before
  // they are made themselves, so that thread outlives them: its end would kill their children.
  static void prepareLauncher();
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Readable when the child has output; non-blocking; end of file once every writer is gone.
  int outputFd() const { return output_.get(); }
  // Readable once the child has exited (a pidfd).
  int exitFd() const { return exitFd_.get(); }

  // Reads what is available from the output pipe; false at end of file.
  bool readOutput(std::string& into);

  // The wait status once the child has exited and been reaped; none while it runs.
  std::optional<int> poll();
  // Asks the group to end (SIGTERM), waits up to `grace`, then kills it (SIGKILL); always
  // returns with the child reaped, and gives its wait status.
  int terminate(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));
  bool exited() const { return status_.has_value(); }

 private:
  ChildProcess(pid_t pid, UniqueFd output, UniqueFd exitFd)
      : pid_(pid), output_(std::move(output)), exitFd_(std::move(exitFd)) {}
  bool waitFor(std::chrono::milliseconds timeout);

  pid_t pid_;
  UniqueFd output_;
  UniqueFd exitFd_;
  std::optional<int> status_;
};

// A program name without a slash looked up on PATH; a path with a slash taken as it is.
// None when no executable file is found.
std::optional<std::filesystem::path> findProgram(const std::filesystem::path& program);

// "exit code 23", "signal 9 (Killed)".
std::string describeWaitStatus(int status);

}  // namespace helmsey::engine
