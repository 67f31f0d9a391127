#pragma once

// The invitation code answer, one purchasable plan as the shop shows it, and the address of a
// node the service opened for this client.

#include <cstdint>
#include <string>
#include <string_view>

#include "services/model/Json.h"

namespace tarnel {

// Answer of the share-information call.
struct Share {
  std::string code;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("code", self.code);
  }
};

struct ProductDetails {
  std::string id;
  std::string title;
  std::string price;  // display text: currency symbol, then the number
  double rawPrice = 0;
  std::string currencySymbol;
  double originalPrice = 0;

  // The saving as the shop shows it: in Chinese the tenths of the price that remain ("7.0" for
  // 30 percent off), in every other language the percentage taken off ("30%").
  std::string discount(std::string_view language) const;
  // The same in the application language, read at each call (defined beside Global).
  std::string discount() const;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("id", self.id);
    v("title", self.title);
    v("price", self.price);
    v("rawPrice", self.rawPrice);
    v("currencySymbol", self.currencySymbol);
    v("originalPrice", self.originalPrice);
  }
};

struct OpenNode {
  std::string server;
  std::string host;
  std::string domain;
  std::int64_t port = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("server", self.server);
    v("host", self.host);
    v("domain", self.domain);
    v("port", self.port);
  }
};

// True for the two languages that write discounts as tenths of the price.
inline bool isChineseLanguage(std::string_view language) { return language == "zh-Hans" || language == "zh-Hant"; }

}  // namespace tarnel
