#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <source_location>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/LogText.h"

namespace tarnel {

// Most severe first; the raw values are the tags written at the start of a line.
enum class LogLevel { error, warning, info, debug, verbose };

std::string_view rawValue(LogLevel level);
std::optional<LogLevel> logLevelFromRaw(std::string_view raw);

namespace detail {

template <class T>
concept Streamable = requires(std::ostream& os, const T& v) { os << v; };

template <class T>
void describe(std::ostream& os, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    os << (value ? "true" : "false");
  } else if constexpr (requires { value.has_value(); *value; }) {
    if (value.has_value()) {
      describe(os, *value);
    } else {
      os << "nil";
    }
  } else if constexpr (Streamable<T>) {
    os << value;
  } else if constexpr (requires { value.what(); }) {
    os << value.what();
  } else {
    os << "<value>";
  }
}

}  // namespace detail

// Console log: one line per call on standard output, written with a single write so lines
// from several threads never interleave. Control characters in the items are escaped. debug and verbose lines are dropped.
class Logger {
 public:
  // The call site is captured where the level is written: Logger::log(LogLevel::error, "x", 1).
  struct Site {
    Site(LogLevel level, std::source_location where = std::source_location::current())
        : level(level), file(where.file_name()), line(static_cast<int>(where.line())),
          function(where.function_name()) {}
    Site(LogLevel level, std::string_view file, int line, std::string_view function)
        : level(level), file(file), line(line), function(function) {}
    LogLevel level;
    std::string_view file;
    int line;
    std::string_view function;
  };

  template <class... Items>
  static void log(Site site, const Items&... items) {
    if (!enabled(site.level)) return;
    std::ostringstream body;
    body.imbue(std::locale::classic());
    bool first = true;
    ((body << (first ? "" : " "), detail::describe(body, items), first = false), ...);
    // Items often carry outside text (answers, rule entries, file contents): one escaping step
    // here keeps every call to one line, whatever its items hold.
    write(format(site, platform::escapeControlCharacters(body.str())));
  }

  static bool enabled(LogLevel level) { return level <= LogLevel::info; }

  // "[Error] File.cpp:12 Class::function - items"
  static std::string format(const Site& site, std::string_view items);

  // The class and function of a compiler's signature, without return type, namespaces and
  // parameters: "void a::B::c(int) const" gives "B::c". Anything it does not read stays whole.
  static std::string_view briefFunctionName(std::string_view signature);

  // Also writes every console line, these and every other layer's, to `file` (appended; its
  // folder is made), keeping it under `maxBytes`: when a line would pass the limit the file
  // becomes "<file>.1" (replacing an older one) and a new file starts. An empty path stops the
  // copy. A file that cannot be written is skipped quietly: the console still gets the line.
  static void setFileCopy(const std::filesystem::path& file, std::uintmax_t maxBytes);

 private:
  static void write(const std::string& line);
};

}  // namespace tarnel
