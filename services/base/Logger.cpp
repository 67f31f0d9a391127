#include "services/base/Logger.h"

#include <unistd.h>

#include <array>
#include <utility>

#include "platform/ConsoleCopy.h"

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

void Logger::setFileCopy(const std::filesystem::path& file, std::uintmax_t maxBytes) {
  platform::setConsoleFileCopy(file, maxBytes);
}

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

std::string_view Logger::briefFunctionName(std::string_view signature) {
  // The name ends at the first parenthesis outside template arguments ("operator()" keeps its
  // own pair); the return type ends at the last space before it, outside template arguments.
  std::size_t end = std::string_view::npos;
  std::size_t begin = 0;
  int depth = 0;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    const char c = signature[i];
    if (c == '<') {
      ++depth;
    } else if (c == '>' && depth > 0) {
      --depth;
    } else if (depth == 0 && c == ' ' && !signature.substr(0, i).ends_with("operator")) {
      begin = i + 1;
    } else if (depth == 0 && c == '(') {
      if (signature.substr(0, i).ends_with("operator") && signature.substr(i, 2) == "()") {
        ++i;
        continue;
      }
      end = i;
      break;
    }
  }
  if (end == std::string_view::npos || begin >= end) return signature;
  std::string_view name = signature.substr(begin, end - begin);
  // The class and the function: namespaces go.
  const auto last = name.rfind("::");
  if (last != std::string_view::npos && last > 0) {
    const auto before = name.rfind("::", last - 1);
    if (before != std::string_view::npos) name.remove_prefix(before + 2);
  }
  return name;
}

std::string Logger::format(const Site& site, std::string_view items) {
  std::string_view file = site.file;
  if (const auto slash = file.rfind('/'); slash != std::string_view::npos) {
    file.remove_prefix(slash + 1);
  }
  std::string line;
  line.reserve(64 + items.size());
  line.append(rawValue(site.level)).append(" ").append(file).append(":");
  line.append(std::to_string(site.line)).append(" ").append(briefFunctionName(site.function)).append(" - ");
  line.append(items);
  return line;
}

void Logger::write(const std::string& line) {
  // One write(2) per line: the line and its line feed go out together.
  platform::writeConsoleLine(STDOUT_FILENO, line + "\n");
}

}  // namespace tarnel
