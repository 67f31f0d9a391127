#pragma once

// The service's announcements. A notice's body is fetched on its own, by `id`.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

struct Notice {
  Notice() = default;
  Notice(std::int64_t id, std::string notice_at, std::string title, std::string summary, std::int64_t type,
         std::int64_t auto_pop_up)
      : id(id), notice_at(std::move(notice_at)), title(std::move(title)), summary(std::move(summary)), type(type),
        auto_pop_up(auto_pop_up) {}

  std::int64_t id = 0;
  std::string notice_at;  // shown as the server writes it, never parsed
  std::string title;
  std::string summary;
  std::int64_t type = 0;  // 0 is shown without the forward arrow
  std::int64_t auto_pop_up = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("notice_at", self.notice_at);
    v("title", self.title);
    v("summary", self.summary);
    v("type", self.type);
    v("auto_pop_up", self.auto_pop_up);
  }
};

struct Notices {
  std::vector<Notice> notices;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("notices", self.notices);
  }
};

}  // namespace tarnel
