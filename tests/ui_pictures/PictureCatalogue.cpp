#include "tests/ui_pictures/PictureCatalogue.h"

#include <set>
#include <string>

#include "services/connection/VPNProtocol.h"

namespace tarnel::test::pictures {
namespace {

std::vector<std::string> combine(const std::string& prefix, const std::vector<std::string>& middles,
                                 const std::vector<std::string>& suffixes) {
  std::vector<std::string> names;
  for (const auto& middle : middles) {
    for (const auto& suffix : suffixes) names.push_back(prefix + middle + suffix);
  }
  return names;
}

}  // namespace

std::vector<std::string> fixedImageNames() {
  return {
      // home page
      "home_menu", "home_logo", "home_notify", "home_recharge", "ic_green_connect", "ic_home_route_bg",
      "ic_home_route_global", "ic_home_route_smart", "ic_home_tag", "ic_auto", "ic_home_customer_service",
      // account menu and card
      "ic_mine_free_use", "ic_mine_phone", "ic_mine_card", "ic_mine_set", "ic_mine_help", "ic_mine_email_feedback",
      "ic_mine_about", "ic_mine_logout", "ic_mine_s_angle", "ic_mine_email", "ic_mine_vip_tag",
      // sign-in, verification, password, feedback
      "ic_login_bg", "ic_login_logo", "ic_verify_email", "ic_modify_pwd", "ic_feedback",
      // tag picker, notices
      "ic_not_selected", "ic_notice_time",
      // shop, coupons, sharing, mobile apps
      "ic_store_pay_topBg", "ic_store_account_new", "ic_store_pay_vip", "ic_empty", "ic_card_time_bg",
      "ic_card_preferential_bg", "ic_card_preferential_angle", "ic_bg_share", "ic_phone_bg", "ic_phone",
      // network diagnosis
      "ic_checking", "ic_check_finish",
  };
}

std::vector<NamingRule> imageNamingRules() {
  std::vector<std::string> protocolNames;
  for (const auto protocol : kAllVPNProtocols) protocolNames.emplace_back(Name(protocol));

  return {
      {"tray icon: \"ic_status_bar_\" + colour + state",
       combine("ic_status_bar_", {"white", "black"}, {"_connected", "_disconnect"})},
      {"device icon: \"ic_device_\" + platform (anything unknown shows android)",
       combine("ic_device_", {"darwin", "win32", "linux", "ios", "android"}, {""})},
      {"protocol row: \"ic_connect_\" + protocol display name + choice",
       combine("ic_connect_", protocolNames, {"_selected", "_normal"})},
      {"routing and running mode rows: \"ic_connect_\" + mode + choice",
       combine("ic_connect_", {"smart", "all", "convention", "specialist"}, {"_selected", "_normal"})},
      {"node signal by uptime", combine("ic_signal_", {"green", "yellow", "red"}, {""})},
      {"switch-listen button by state", {"ic_home_switch_red", "ic_home_switch_gray"}},
      {"Telegram button by connection", {"ic_home_telegram", "ic_home_telegram_gray"}},
      {"browser button by connection", {"ic_sf_selected", "ic_sf_normal"}},
      {"notice row by read state", {"ic_notice_readed", "ic_notice_unread"}},
      {"tunnel tips: \"system_extension_tips_\" + service language",
       combine("system_extension_tips_", {"zh", "en"}, {""})},
  };
}

std::vector<std::string> allImageNames() {
  std::vector<std::string> names;
  std::set<std::string> seen;
  auto add = [&](const std::string& name) {
    if (seen.insert(name).second) names.push_back(name);
  };
  for (const auto& name : fixedImageNames()) add(name);
  for (const auto& rule : imageNamingRules()) {
    for (const auto& name : rule.names) add(name);
  }
  return names;
}

std::vector<std::string> symbolNames() {
  return {
      "checkmark",       "checkmark.circle.fill", "checkmark.square.fill",   "chevron.backward",
      "chevron.down",    "chevron.forward",       "chevron.forward.circle.fill", "chevron.up",
      "circle",          "ellipsis",              "exclamationmark.triangle", "info.circle",
      "magnifyingglass", "pencil.line",           "square",                   "xmark",
      "xmark.circle",    "xmark.circle.fill",
  };
}

std::vector<std::string> animationNames() {
  return {"ani_show", "ani_loop", "ani_end", "ani_close", "ani_closeloop", "ani_closeend", "ani_yes",
          "ani_no",   "bg_ok",    "bg_blue", "bg_close",  "bg_black",      "loading"};
}

}  // namespace tarnel::test::pictures
