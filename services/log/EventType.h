#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tarnel {

// Analytics events of the cloud log. The raw value sent on the wire is the case name itself
// ("BULLETIN_READED" is spelled so by the log service); the one list below makes both. The order
// is the wire vocabulary's own and not alphabetical at its ends.
#define TARNEL_EVENT_TYPES(X)                                                                          \
  X(BULLETIN_CLICK) X(BULLETIN_LIST_CLICK) X(BULLETIN_READED) X(BULLETIN_WINDOW_CLOSE)                \
  X(BULLETIN_WINDOW_NEXT) X(BULLETIN_WINDOW_OPEN) X(HOME_LOCATION) X(HOME_TAG) X(LOCATION_USE)        \
  X(LOG_IN) X(MENU_ABOUTUS) X(MENU_ABOUTUS_EMAIL) X(MENU_ABOUTUS_OFFICIAL)                             \
  X(MENU_ABOUTUS_PRIVACYPOLICY) X(MENU_ABOUTUS_TERMSOFSERVICE) X(MENU_ACCOUNT) X(MENU_ACCOUNT_CENTER) \
  X(MENU_ACCOUNT_SUBMIT) X(MENU_COUPON_CENTER) X(MENU_MOBILE) X(MENU_FEEDBACK) X(MENU_FEEDBACK_SUBMIT) \
  X(MENU_HELP) X(MENU_HELP_SUPPORT) X(MENU_PERSONAL_ACCOUNT) X(MENU_SETTING) X(MENU_SHARE) X(MENU_SHOP) \
  X(NODE_CONNECT) X(NODE_LIST_OPEN) X(NODE_RENEWAL) X(NODE_SEARCH) X(REGISTER_PASSWORD_CHANGE)         \
  X(REGISTER_PRIVACYPOLICY) X(REGISTER_TERMSOFSERVICE) X(REMOVE_DEVICE) X(SETTING_CHECK_UPDATE)       \
  X(SETTING_CONNECT_CHECK) X(SETTING_LOG_OUT) X(SETTING_NETWORK_CHECK) X(SETTING_ROUTER)               \
  X(SETTING_SELECTED_PROTOCOL) X(SETTING_SWITCH_LANGUAGES) X(SHARE_COPY_CODE) X(SHARE_COPY_URL)       \
  X(SHARE_QRCODE) X(SHARE_RESULT) X(SHARE_RULE) X(SHARE_SAVE_QRCODE) X(SHARE_SEND_URL) X(SIGN_UP)     \
  X(APP_OPEN) X(HOME_CONNECT) X(MINIMAL_OPEN) X(PROXY_RULES) X(OPEN_NAVI) X(NAVI)

#define TARNEL_EVENT_TYPE_CASE(name) name,
enum class EventType { TARNEL_EVENT_TYPES(TARNEL_EVENT_TYPE_CASE) };
#undef TARNEL_EVENT_TYPE_CASE

#define TARNEL_EVENT_TYPE_ENTRY(name) EventType::name,
inline constexpr std::array kAllEventTypes{TARNEL_EVENT_TYPES(TARNEL_EVENT_TYPE_ENTRY)};
#undef TARNEL_EVENT_TYPE_ENTRY

std::string_view rawValue(EventType event);

// The event whose name equals `raw` exactly (case-sensitive), or none.
std::optional<EventType> eventTypeFromRaw(std::string_view raw);

}  // namespace tarnel
