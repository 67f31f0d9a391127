#pragma once

// The membership plans on sale: each pairs a plan length with the store product that sells it.

#include <cstdint>
#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

struct PaymentPlansPackages {
  std::int64_t time = 0;  // plan length in the server's unit
  std::string apple_id;   // store product identifier

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("time", self.time, json::WholeNumber{});
    v("apple_id", self.apple_id);
  }
};

struct PaymentPlans {
  std::vector<PaymentPlansPackages> packages;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("packages", self.packages);
  }
};

}  // namespace tarnel
