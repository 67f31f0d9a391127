#pragma once

// The account status answer, and which account parts a fresh one says to fetch again.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"
#include "services/model/LinkModels.h"
#include "services/model/LoginModels.h"
#include "services/model/ServerSettingsModels.h"

namespace tarnel {

struct Live {
  std::int64_t max_age = -1;  // -1 until the first status answer
  std::int64_t expired = 0;
  std::int64_t expired_vip = 0;
  std::int64_t expired_svip = 0;
  std::int64_t email_status = 0;
  std::string hot;
  Other other;  // required here, unlike in Login
  std::string grp_id;
  std::vector<std::int64_t> ports;  // probed when a port test is given none
  std::vector<std::int64_t> ports_trojan;
  std::string op;
  std::string message;
  Link link;
  std::int64_t device_count = 3;  // devices the account may bind

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("max_age", self.max_age);
    v("expired", self.expired);
    v("expired_vip", self.expired_vip);
    v("expired_svip", self.expired_svip);
    v("email_status", self.email_status);
    v("hot", self.hot);
    v("other", self.other);
    v("grp_id", self.grp_id);
    v("ports", self.ports);
    v("ports_trojan", self.ports_trojan);
    v("op", self.op);
    v("message", self.message);
    v("link", self.link);
    v("device_count", self.device_count);
  }
};

// The `fetch` mask (FetchPart bits) for the data-update call after a status answer: the parts
// whose version stamp in the fresh settings differs from the stored sign-in result's. Without
// stored settings every part is stale, and the proxy rules only when the fresh answer names a
// version for them. 0 means nothing to fetch.
std::int64_t fetchMask(const Other& fresh, const std::optional<Other>& stored);

}  // namespace tarnel
