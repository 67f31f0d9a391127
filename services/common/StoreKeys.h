#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnel {

// Every key under which anything is kept in the settings store; the raw value (the key in the
// user-defaults domain) is the case name.
enum class StoreKeys {
  DNS_CACHE,
  USER_ID,
  USER_INFO,
  AREA_ID,
  LANGUAGE,
  NODE_UPDATE_TIME,
  RECONNECT,
  STATUS_ICON,
  SYSTEM_PROXY,
  COMMAND_PROXY,
  PROXY_RULE,
  CURRENT_NODE,
  SELECTED_NODE,
  CURRENT_COUNTRY,
  CURRENT_TAG,
  SELECTED_PROTOCOL,
  HISTORY_ACCOUNT,
  EMAIL_SUFFIX,
  TUNNELMODE,
  NOTICE_IDS,
  MAIN_ROUTE_TIPS,
  SMART_ROUTE,
  CHECK_CONNECTION,
  RECEIPT,
  IGNORE_VERSION,
  NODE_VERSION,
  NODES,
  NODE_REFRESH_INTERVAL,
  DISCLAIMER_TIME,
  DNS_SERVER,
  DNS_STRATEGY,
  CACHE_LOG,
  CLOSE_EVENT,
};

inline constexpr std::size_t kStoreKeyCount = 33;

// Every key in declaration order.
extern const std::array<StoreKeys, kStoreKeyCount> kAllStoreKeys;

std::string_view rawValue(StoreKeys key);

// The key whose name equals `raw` exactly (case-sensitive), or none.
std::optional<StoreKeys> storeKeysFromRaw(std::string_view raw);

}  // namespace tarnel
