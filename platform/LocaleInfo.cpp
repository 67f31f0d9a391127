#include "platform/LocaleInfo.h"

#include <cstdlib>

namespace platform {

std::string localeIdentifierFromSetting(const std::string& setting) {
  const auto end = setting.find_first_of(".@");
  return setting.substr(0, end);
}

std::string currentLocaleIdentifier() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* value = std::getenv(name); value != nullptr && *value != '\0') {
      return localeIdentifierFromSetting(value);
    }
  }
  return {};
}

}  // namespace platform
