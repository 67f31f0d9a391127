#pragma once

// Locale-independent texts of numbers and dates for the models' display properties: a desktop
// running in de_DE still writes 9.99 with a point.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnel {

// printf("%.<decimals>f") with the C locale: rounded from the exact binary value,
// "nan" (whatever its sign), "inf" and "-inf" for values that are not finite.
std::string formatFixed(double value, int decimals);

namespace Date {

// The date written with a date-format pattern such as "yyyy-MM-dd HH:mm", in the user's current
// time zone (TZ is read again on every call). Pattern letters: y u M L d D E a H k h K m s S Z z G;
// text in single quotes is written as it stands ('' is one quote); month and weekday names are
// English. The empty text when the date cannot be placed in the calendar.
std::string format(std::chrono::system_clock::time_point date, std::string_view pattern);
// The same for a whole second since 1970; any 64-bit value is safe (no clock-tick overflow).
std::string format(std::int64_t secondsSince1970, std::string_view pattern);

}  // namespace Date

}  // namespace tarnel
