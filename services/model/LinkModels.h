#pragma once

// The announcement link of the account status and the promotion link answer.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "services/model/Json.h"

namespace tarnel {

struct Link {
  bool show = false;
  std::map<std::string, std::string> text;  // by API language code, "zh" or "en"
  std::int64_t updated_at = 0;
  std::int64_t id = 0;
  // Before the first status answer this is the empty text (a value); a decoded answer without
  // the key has none.
  std::optional<std::string> link = std::string();

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("show", self.show);
    v("text", self.text);
    v("updated_at", self.updated_at);
    v("id", self.id);
    v("link", self.link);
  }
};

struct PromoteLink {
  std::string link;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("link", self.link);
  }
};

}  // namespace tarnel
