#pragma once

// The sign-in result, the partial data-update answer and the two server display texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"
#include "services/model/NodeModels.h"
#include "services/model/RuleModels.h"
#include "services/model/ServerSettingsModels.h"
#include "services/model/UserModels.h"

namespace tarnel {

struct ConfigText {
  std::string LOGIN_PROMOTER_CODE;
  std::string APP_STORE_PLAN_DESC;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("LOGIN_PROMOTER_CODE", self.LOGIN_PROMOTER_CODE);
    v("APP_STORE_PLAN_DESC", self.APP_STORE_PLAN_DESC);
  }
};

struct Login {
  User user;
  std::int64_t max_age = 0;  // connecting is refused while this is 0 or less
  std::int64_t expired = 0;
  std::int64_t expired_vip = 0;  // seconds since 1970; below 1 means no membership
  std::int64_t expired_svip = 0;
  std::int64_t card_version = 0;
  std::int64_t email_status = 0;
  std::string hot;
  std::vector<Tag> tags;
  std::vector<Country> countries;
  std::optional<Other> other = Other{};  // present with its defaults until a sign-in says otherwise
  std::string message;
  ConfigText config_text;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("user", self.user);
    v("max_age", self.max_age);
    v("expired", self.expired);
    v("expired_vip", self.expired_vip);
    v("expired_svip", self.expired_svip);
    v("card_version", self.card_version);
    v("email_status", self.email_status);
    v("hot", self.hot);
    v("tags", self.tags);
    v("countries", self.countries);
    v("other", self.other);
    v("message", self.message);
    v("config_text", self.config_text);
  }
};

// Bits of the data-update request's `fetch` mask: which parts of a Base the service is to send.
namespace FetchPart {
inline constexpr std::int64_t countries = 1;
inline constexpr std::int64_t tags = 2;
inline constexpr std::int64_t user = 4;
inline constexpr std::int64_t proxyRule = 16;
}  // namespace FetchPart

// Answer of the data-update call: only the parts the request asked for arrive.
struct Base {
  std::optional<std::vector<Tag>> tags = std::vector<Tag>{};
  std::optional<std::vector<Country>> countries = std::vector<Country>{};
  std::optional<User> user = User{};
  std::optional<std::vector<std::string>> emails = std::vector<std::string>{};
  std::optional<ProxyRule> proxy_rule = ProxyRule{};

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("tags", self.tags);
    v("countries", self.countries);
    v("user", self.user);
    v("emails", self.emails);
    v("proxy_rule", self.proxy_rule);
  }
};

}  // namespace tarnel
