#include "core/engine/EngineLog.h"

#include <unistd.h>

#include <chrono>
#include <ctime>

#include "platform/ConsoleCopy.h"
#include "platform/LogText.h"

namespace helmsey::engine {

namespace {
constexpr std::size_t kCoreLogCapacity = 256 * 1024;

std::string timestamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return text;
}
}  // namespace

void LogBuffer::append(std::string_view bytes) {
  std::lock_guard lock(mutex_);
  text_.append(bytes);
  if (text_.size() <= capacity_) return;
  // Drop from the front up to a line start, so the first line kept is a whole one.
  std::size_t cut = text_.size() - capacity_;
  const std::size_t lineEnd = text_.find('\n', cut == 0 ? 0 : cut - 1);
  cut = lineEnd == std::string::npos ? text_.size() - capacity_ : lineEnd + 1;
  text_.erase(0, cut);
}

std::string LogBuffer::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

void LogBuffer::clear() {
  std::lock_guard lock(mutex_);
  text_.clear();
}

LogBuffer& coreLog() {
  static LogBuffer log(kCoreLogCapacity);
  return log;
}

void note(std::string_view line) {
  std::string text = timestamp();
  // Notes quote outside text (rule entries, addresses, child output): escaped, one note stays one line.
  text.append(" [Helmsey] ").append(platform::escapeControlCharacters(line)).append("\n");
  coreLog().append(text);
  // A single write keeps lines of several threads apart; the console log's file gets it too.
  platform::writeConsoleLine(STDERR_FILENO, text);
}

}  // namespace helmsey::engine
