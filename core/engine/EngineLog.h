#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace helmsey::engine {

// A bounded text buffer: when it grows past its capacity the oldest whole lines go first, so a
// long-running engine keeps its most recent output and never grows without limit.
class LogBuffer {
 public:
  explicit LogBuffer(std::size_t capacity) : capacity_(capacity) {}

  void append(std::string_view bytes);
  std::string text() const;
  void clear();

 private:
  std::size_t capacity_;
  mutable std::mutex mutex_;
  std::string text_;
};

// The engine's log as getLog(core) returns it: the children's output and the engine's own notes.
LogBuffer& coreLog();

// One note of the engine itself: goes to the core log and to standard error.
void note(std::string_view line);

}  // namespace helmsey::engine
