#pragma once

// The node-opening answer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"
#include "services/model/ProductModels.h"

namespace tarnel {

// A second entry point of the opened node (the name is spelled so).
struct OpenTrun {
  std::string server;
  std::int64_t port = 0;
  std::vector<std::int64_t> ports;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("server", self.server);
    v("port", self.port);
    v("ports", self.ports);
  }
};

struct Open {
  std::optional<OpenTrun> turn;
  std::int64_t ts = 0;
  std::int64_t status = 0;
  std::int64_t max_age = 0;
  std::string message;
  OpenNode node;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("turn", self.turn);
    v("ts", self.ts);
    v("status", self.status);
    v("max_age", self.max_age);
    v("message", self.message);
    v("node", self.node);
  }
};

}  // namespace tarnel
