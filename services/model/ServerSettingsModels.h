#pragma once

// The account's server-side settings: version stamps of cached data, update versions, node-list
// lifetimes, protocol lists and the device counts on offer. Keys as the server spells them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/Json.h"

namespace tarnel {

struct Other {
  std::int64_t version = 0;         // minimum application version
  std::int64_t newest_version = 0;  // offered by the automatic update check
  std::optional<std::int64_t> update_version = 0;  // offered by the manual check; absent counts as 0
  std::string marquee_version;
  std::int64_t disconnect_timeout = 0;
  std::int64_t reconnect_after = 0;
  std::int64_t card_version = 0;
  bool turn_node = false;
  std::vector<std::string> protocal_priority;
  std::string tag_version;
  std::string protocal_version;
  std::string country_version;
  std::string app_domain_version;
  std::string placard_version;
  std::vector<std::string> protocal_priority_trojan;
  std::string protocal_priority_vless;  // one text, not a list
  std::string node_updated_at;
  std::vector<std::string> available_protocols;
  std::string config_text_version;
  std::string notice_version;
  std::int64_t lite_update_interval = 0;   // minutes
  std::int64_t load_refresh_interval = 0;  // minutes
  std::int64_t node_retry = 0;
  std::string user_version;
  std::optional<std::string> proxy_version = std::string();
  std::optional<std::string> device_count_list = std::string();  // decimal counts separated by ","

  template <class Self, class V>
  static void fields(Self& self, V& v) {
    v("version", self.version);
    v("newest_version", self.newest_version);
    v("update_version", self.update_version);
    v("marquee_version", self.marquee_version);
    v("disconnect_timeout", self.disconnect_timeout);
    v("reconnect_after", self.reconnect_after);
    v("card_version", self.card_version);
    v("turn_node", self.turn_node);
    v("protocal_priority", self.protocal_priority);
    v("tag_version", self.tag_version);
    v("protocal_version", self.protocal_version);
    v("country_version", self.country_version);
    v("app_domain_version", self.app_domain_version);
    v("placard_version", self.placard_version);
    v("protocal_priority_trojan", self.protocal_priority_trojan);
    v("protocal_priority_vless", self.protocal_priority_vless);
    v("node_updated_at", self.node_updated_at);
    v("available_protocols", self.available_protocols);
    v("config_text_version", self.config_text_version);
    v("notice_version", self.notice_version);
    v("lite_update_interval", self.lite_update_interval);
    v("load_refresh_interval", self.load_refresh_interval);
    v("node_retry", self.node_retry);
    v("user_version", self.user_version);
    v("proxy_version", self.proxy_version);
    v("device_count_list", self.device_count_list);
  }
};

}  // namespace tarnel
