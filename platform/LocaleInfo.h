#pragma once

#include <string>

// The platform library hides everything its headers do not declare.
#pragma GCC visibility push(default)
namespace platform {

// The identifier of the user's current locale, language and region joined by "_" ("zh_CN",
// "en_US"): taken from LC_ALL, else LC_MESSAGES, else LANG, without the character set
// (".UTF-8") and modifier ("@euro"). The empty text when none is set.
std::string currentLocaleIdentifier();

// The identifier of one locale setting as the variables above spell it.
std::string localeIdentifierFromSetting(const std::string& setting);

}  // namespace platform
#pragma GCC visibility pop
