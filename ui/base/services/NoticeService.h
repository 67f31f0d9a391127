#pragma once

// The notice list and one notice's body. Blocking, safe on any thread.

#include <cstdint>
#include <optional>
#include <string>

#include "services/model/NoticeModels.h"

namespace lumora {

class NoticeService {
 public:
  virtual ~NoticeService() = default;

  // None on any failure.
  virtual std::optional<tarnel::Notices> notices() = 0;
  // The notice's HTML text or address; none on any failure, an error page included.
  virtual std::optional<std::string> notice(std::int64_t id) = 0;
};

}  // namespace lumora
