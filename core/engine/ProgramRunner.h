#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace helmsey::engine {

struct ProgramResult {
  int exitCode = -1;
  std::string output;  // standard output
};

// Runs a short-lived program (found on PATH when the name has no slash) with the given words
// as its arguments, no shell in between. None when it cannot start, dies by a signal or
// outlives `timeout` (it is killed then).
std::optional<ProgramResult> runProgram(const std::vector<std::string>& command,
                                        std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace helmsey::engine
