#include "services/model/TextFormat.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace tarnel {

std::string formatFixed(double value, int decimals) {
  // 0/0 comes out as a NaN with its sign bit set on x86; a sign on "nan" tells the reader nothing.
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // The longest finite double in fixed notation has 309 integer digits.
  std::array<char, 400> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed,
                                    decimals < 0 ? 6 : decimals);
  if (result.ec != std::errc()) return {};
  return std::string(buffer.data(), result.ptr);
}

namespace Date {
namespace {

constexpr std::array<const char*, 12> kMonths{"January", "February", "March",     "April",   "May",      "June",
                                              "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kWeekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};

void appendNumber(std::string& out, long long value, int width) {
  if (value < 0) {
    out.push_back('-');
    value = -value;
  }
  const std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()); i < width; ++i) out.push_back('0');
  out += digits;
}

// Names: 1 to 3 letters abbreviated, 4 the whole name, 5 the first letter.
void appendName(std::string& out, const char* name, int count) {
  const std::string_view whole(name);
  if (count == 4) {
    out += whole;
  } else if (count >= 5) {
    out += whole.substr(0, 1);
  } else {
    out += whole.substr(0, 3);
  }
}

void appendOffset(std::string& out, long offsetSeconds, int count) {
  const char sign = offsetSeconds < 0 ? '-' : '+';
  const long minutes = std::labs(offsetSeconds) / 60;
  if (count == 4) out += "GMT";
  out.push_back(sign);
  appendNumber(out, minutes / 60, 2);
  if (count >= 4) out.push_back(':');
  appendNumber(out, minutes % 60, 2);
}

void appendField(std::string& out, char letter, int count, const std::tm& tm, std::int64_t nanoseconds) {
  const long long year = static_cast<long long>(tm.tm_year) + 1900;
  switch (letter) {
    case 'y':
    case 'u':
      if (count == 2) {
        appendNumber(out, ((year % 100) + 100) % 100, 2);
      } else {
        appendNumber(out, year, count);
      }
      break;
    case 'M':
    case 'L':
      if (count <= 2) {
        appendNumber(out, tm.tm_mon + 1, count);
      } else {
        appendName(out, kMonths[static_cast<std::size_t>(tm.tm_mon)], count);
      }
      break;
    case 'd':
      appendNumber(out, tm.tm_mday, count);
      break;
    case 'D':
      appendNumber(out, tm.tm_yday + 1, count);
      break;
    case 'E':
      appendName(out, kWeekdays[static_cast<std::size_t>(tm.tm_wday)], count);
      break;
    case 'a':
      out += tm.tm_hour < 12 ? "AM" : "PM";
      break;
    case 'H':
      appendNumber(out, tm.tm_hour, count);
      break;
    case 'k':
      appendNumber(out, tm.tm_hour == 0 ? 24 : tm.tm_hour, count);
      break;
    case 'h':
      appendNumber(out, tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12, count);
      break;
    case 'K':
      appendNumber(out, tm.tm_hour % 12, count);
      break;
    case 'm':
      appendNumber(out, tm.tm_min, count);
      break;
    case 's':
      appendNumber(out, tm.tm_sec, count);
      break;
    case 'S': {
      // Fractions of a second are cut, not rounded, to the number of letters.
      std::string digits;
      appendNumber(digits, nanoseconds, 9);
      digits.resize(static_cast<std::size_t>(count), '0');
      out += digits;
      break;
    }
    case 'Z':
      appendOffset(out, tm.tm_gmtoff, count);
      break;
    case 'z':
      out += tm.tm_zone != nullptr ? tm.tm_zone : "";
      break;
    case 'G':
      out += year > 0 ? "AD" : "BC";
      break;
    default:
      out.append(static_cast<std::size_t>(count), letter);
      break;
  }
}

bool isPatternLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }


std::string formatAt(std::int64_t secondsSince1970, std::int64_t nanoseconds, std::string_view pattern) {
  const std::time_t seconds = static_cast<std::time_t>(secondsSince1970);
  // localtime_r keeps the zone it first read; tzset picks up a TZ changed since.
  ::tzset();
  std::tm tm{};
  if (::localtime_r(&seconds, &tm) == nullptr) return {};

  std::string out;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        out.push_back('\'');
        i += 2;
        continue;
      }
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            out.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out.push_back(pattern[i++]);
      }
      continue;
    }
    if (!isPatternLetter(c)) {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < pattern.size() && pattern[end] == c) ++end;
    appendField(out, c, static_cast<int>(end - i), tm, nanoseconds);
    i = end;
  }
  return out;
}

}  // namespace

std::string format(std::chrono::system_clock::time_point date, std::string_view pattern) {
  using namespace std::chrono;
  const auto whole = floor<seconds>(date);
  const auto nanoseconds = duration_cast<std::chrono::nanoseconds>(date - whole).count();
  return formatAt(whole.time_since_epoch().count(), nanoseconds, pattern);
}

std::string format(std::int64_t secondsSince1970, std::string_view pattern) {
  return formatAt(secondsSince1970, 0, pattern);
}

}  // namespace Date

}  // namespace tarnel
