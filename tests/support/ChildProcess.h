#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace tarnel::test {

struct ChildResult {
  int exitCode = -1;   // -1 when the child did not exit normally
  std::string output;  // what the body returned
};

// Runs `body` in a forked copy of this process (same environment, same temporary home) and hands
// back the text it returned. The child leaves through _exit, so no destructor of the parent's
// objects (such as the temporary home) runs twice. The settings, written behind, are flushed
// before the fork (so the settings' writer is not running) and by the child before it leaves, as
// the program does on its way out. Call it while the test runs no other thread.
ChildResult runInChild(const std::function<std::string()>& body);

// A shell command's exit status (-1 when it could not run or did not exit) and standard output.
ChildResult runCommand(const std::string& command);
// The same with the exit status alone; standard output is appended to `*output` when given.
int runCommand(const std::string& command, std::string* output);

// Standard output of a shell command, or none when it cannot run or exits with a failure.
std::optional<std::string> commandOutput(const std::string& command);

// A running process as /proc shows it.
struct ProcessEntry {
  pid_t pid = -1;
  std::string name;     // the command's short name
  std::string state;    // R, S, D, Z, ...
  std::string command;  // the whole command line, words separated by spaces
};

// The processes whose parent is `parent`, zombies left out.
std::vector<ProcessEntry> childrenOf(pid_t parent);

// The text quoted for a POSIX shell.
std::string shellQuote(std::string_view text);

}  // namespace tarnel::test
