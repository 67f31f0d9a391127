#pragma once

// The account record and the registration answer.

#include <cstdint>
#include <string>

#include "services/model/Json.h"

namespace tarnel {

struct User {
  std::string id;
  std::string grp_id;
  std::string uid;
  std::string uid_rate;
  std::int64_t alterid = 0;
  std::string email;
  std::int64_t email_status = 0;  // 0 guest, 2 verified e-mail
  std::int64_t expired = 0;
  std::int64_t expired_vip = 0;
  std::int64_t expired_svip = 0;
  std::string code;  // the account's own invitation code
  std::string pcode;
  std::string mobile;
  std::string country_code;
  std::int64_t promoter = 0;
  std::string hot;  // device mode; "3" means several devices
  std::int64_t visibility_svip = 0;

  bool isGuest() const { return email_status == 0; }
  bool verifyed() const { return email_status == 2; }
  bool isMultipleDevices() const { return hot == "3"; }

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("grp_id", self.grp_id);
    v("uid", self.uid);
    v("uid_rate", self.uid_rate);
    v("alterid", self.alterid);
    v("email", self.email);
    v("email_status", self.email_status);
    v("expired", self.expired);
    v("expired_vip", self.expired_vip);
    v("expired_svip", self.expired_svip);
    v("code", self.code);
    v("pcode", self.pcode);
    v("mobile", self.mobile);
    v("country_code", self.country_code);
    v("promoter", self.promoter);
    v("hot", self.hot);
    v("visibility_svip", self.visibility_svip);
  }
};

// Answer of the registration call.
struct Register {
  std::string message;
  User user;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("message", self.message);
    v("user", self.user);
  }
};

}  // namespace tarnel
