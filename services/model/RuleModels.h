#pragma once

// Routing lists: the user's own rules and the service's domain lists. Entries are carried as
// they are; sorting them into domains and addresses happens where the tunnel configuration is built.

#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

struct ProxyRule {
  std::vector<std::string> direct;
  std::vector<std::string> proxy;
  std::vector<std::string> block;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("direct", self.direct);
    v("proxy", self.proxy);
    v("block", self.block);
  }
};

struct Domains {
  std::vector<std::string> direct_domain_g0;
  std::vector<std::string> direct_domain_g1;
  std::vector<std::string> switch_domain;
  std::vector<std::string> proxy;
  std::vector<std::string> unlock;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("direct_domain_g0", self.direct_domain_g0);
    v("direct_domain_g1", self.direct_domain_g1);
    v("switch_domain", self.switch_domain);
    v("proxy", self.proxy);
    v("unlock", self.unlock);
  }
};

}  // namespace tarnel
