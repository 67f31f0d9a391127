#include "services/common/StoreKeys.h"

#include <utility>

namespace tarnel {
namespace {

#define TARNEL_STORE_KEY(name) std::pair<StoreKeys, std::string_view>{StoreKeys::name, #name}

constexpr std::array<std::pair<StoreKeys, std::string_view>, kStoreKeyCount> kKeys{{
    TARNEL_STORE_KEY(DNS_CACHE),
    TARNEL_STORE_KEY(USER_ID),
    TARNEL_STORE_KEY(USER_INFO),
    TARNEL_STORE_KEY(AREA_ID),
    TARNEL_STORE_KEY(LANGUAGE),
    TARNEL_STORE_KEY(NODE_UPDATE_TIME),
    TARNEL_STORE_KEY(RECONNECT),
    TARNEL_STORE_KEY(STATUS_ICON),
    TARNEL_STORE_KEY(SYSTEM_PROXY),
    TARNEL_STORE_KEY(COMMAND_PROXY),
    TARNEL_STORE_KEY(PROXY_RULE),
    TARNEL_STORE_KEY(CURRENT_NODE),
    TARNEL_STORE_KEY(SELECTED_NODE),
    TARNEL_STORE_KEY(CURRENT_COUNTRY),
    TARNEL_STORE_KEY(CURRENT_TAG),
    TARNEL_STORE_KEY(SELECTED_PROTOCOL),
    TARNEL_STORE_KEY(HISTORY_ACCOUNT),
    TARNEL_STORE_KEY(EMAIL_SUFFIX),
    TARNEL_STORE_KEY(TUNNELMODE),
    TARNEL_STORE_KEY(NOTICE_IDS),
    TARNEL_STORE_KEY(MAIN_ROUTE_TIPS),
    TARNEL_STORE_KEY(SMART_ROUTE),
    TARNEL_STORE_KEY(CHECK_CONNECTION),
    TARNEL_STORE_KEY(RECEIPT),
    TARNEL_STORE_KEY(IGNORE_VERSION),
    TARNEL_STORE_KEY(NODE_VERSION),
    TARNEL_STORE_KEY(NODES),
    TARNEL_STORE_KEY(NODE_REFRESH_INTERVAL),
    TARNEL_STORE_KEY(DISCLAIMER_TIME),
    TARNEL_STORE_KEY(DNS_SERVER),
    TARNEL_STORE_KEY(DNS_STRATEGY),
    TARNEL_STORE_KEY(CACHE_LOG),
    TARNEL_STORE_KEY(CLOSE_EVENT),
}};

#undef TARNEL_STORE_KEY

constexpr std::array<StoreKeys, kStoreKeyCount> allKeys() {
  std::array<StoreKeys, kStoreKeyCount> keys{};
  for (std::size_t i = 0; i < kStoreKeyCount; ++i) keys[i] = kKeys[i].first;
  return keys;
}

}  // namespace

const std::array<StoreKeys, kStoreKeyCount> kAllStoreKeys = allKeys();

std::string_view rawValue(StoreKeys key) {
  for (const auto& [candidate, raw] : kKeys) {
    if (candidate == key) return raw;
  }
  return {};
}

std::optional<StoreKeys> storeKeysFromRaw(std::string_view raw) {
  for (const auto& [key, text] : kKeys) {
    if (text == raw) return key;
  }
  return std::nullopt;
}

}  // namespace tarnel
