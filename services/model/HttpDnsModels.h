#pragma once

// The host-discovery answer. It travels as an OriginDns whose `body` is the JSON text of an
// HttpDnsBody enciphered with dnsBodyEncryptor; HttpDns is the same answer with that body read.
// fromJson<HttpDns> and toJson(HttpDns) turn one form into the other (see below); the record
// coding of HttpDns itself (json::encodeValue) writes `body` as a plain object.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

// Default of HttpDnsBody.cs, replaced by every decoded answer.
inline constexpr std::string_view kDefaultCustomerServiceEmail = "support@tarnel.app";

struct OriginDns {
  std::string version;
  std::string body;  // dnsBodyEncryptor cipher text of the HttpDnsBody JSON

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("version", self.version);
    v("body", self.body);
  }
};

// One API host name and its addresses, tried in this order.
struct HttpDnsBodyDns {
  std::string host;  // sent as the Host header to each address
  std::vector<std::string> ip;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("host", self.host);
    v("ip", self.ip);
  }
};

struct HttpDnsBodyUrls {
  std::string apiReserve1;
  std::string apiReserve2;
  std::string officialSite;  // used when `officials` is empty
  std::vector<std::string> officials;
  std::string share;
  std::string custom;
  std::string route_list;
  std::vector<std::string> pay_cdn2;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("apiReserve1", self.apiReserve1);
    v("apiReserve2", self.apiReserve2);
    v("officialSite", self.officialSite);
    v("officials", self.officials);
    v("share", self.share);
    v("custom", self.custom);
    v("route_list", self.route_list);
    v("pay_cdn2", self.pay_cdn2);
  }
};

// Clipboard settings, carried unchanged.
struct HttpDnsBodyClip {
  std::int64_t interval = 0;
  std::vector<std::int64_t> size;
  std::string enabled;  // a text on the wire, not a boolean
  std::int64_t app_version = 0;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("interval", self.interval);
    v("size", self.size);
    v("enabled", self.enabled);
    v("app_version", self.app_version);
  }
};

// Navigation titles: `zh` for zh-Hans, `hk` for zh-Hant, `en` for every other language.
struct HttpDnsBodyNavi {
  std::int64_t ver = 0;
  std::string zh;
  std::string en;
  std::string hk;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("ver", self.ver);
    v("zh", self.zh);
    v("en", self.en);
    v("hk", self.hk);
  }
};

struct HttpDnsBody {
  std::string apicdn;  // when not empty, the first API host candidate
  std::string cdndl;   // download and static-page host
  std::vector<HttpDnsBodyDns> dns;
  HttpDnsBodyUrls urls;
  HttpDnsBodyClip clip;
  std::string cs = std::string(kDefaultCustomerServiceEmail);  // customer-service e-mail address
  HttpDnsBodyNavi navi;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("apicdn", self.apicdn);
    v("cdndl", self.cdndl);
    v("dns", self.dns);
    v("urls", self.urls);
    v("clip", self.clip);
    v("cs", self.cs);
    v("navi", self.navi);
  }
};

struct HttpDns {
  std::string version;
  HttpDnsBody body;

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("version", self.version);
    v("body", self.body);
  }
};

// Reads the enciphered form (an OriginDns whose body deciphers and decodes) and, failing that,
// the plain form with `body` a JSON object. Each failed step is logged by the step itself.
template <>
std::optional<HttpDns> fromJson<HttpDns>(std::string_view text);

// Always writes the enciphered form: {"version": ..., "body": "<hex>"}.
template <>
std::optional<std::string> toJson<HttpDns>(const HttpDns& value);

}  // namespace tarnel
