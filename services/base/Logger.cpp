#include "services/base/Logger.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

namespace tarnel {
namespace {

constexpr std::array<std::pair<LogLevel, std::string_view>, 5> kRawValues{{
    {LogLevel::error, "[Error]"},
    {LogLevel::warning, "[Warning]"},
    {LogLevel::info, "[Info]"},
    {LogLevel::debug, "[Debug]"},
    {LogLevel::verbose, "[Verbose]"},
}};

}  // namespace

std::string_view rawValue(LogLevel level) {
  for (const auto& [candidate, raw] : kRawValues) {
    if (candidate == level) return raw;
  }
  return {};
}

std::optional<LogLevel> logLevelFromRaw(std::string_view raw) {
  for (const auto& [level, text] : kRawValues) {
    if (text == raw) return level;
  }
  return std::nullopt;
}

std::string Logger::format(const Site& site, std::string_view items) {
  std::string_view file = site.file;
  if (const auto slash = file.rfind('/'); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  std::string line;
  line.reserve(64 + items.size());
  line.append(rawValue(site.level)).append(" ").append(file).append(":");
  line.append(std::to_string(site.line)).append(" ").append(site.function).append(" - ");
  line.append(items);
  return line;
}

void Logger::write(const std::string& line) {
  // One write(2) per line: the line and its line feed go out together.
  std::string out = line + "\n";
  const char* data = out.data();
  size_t left = out.size();
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a failed console write is not reported
    data += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace tarnel
