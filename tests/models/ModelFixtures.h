#pragma once

// Answer objects shared by the model tests.

#include <initializer_list>
#include <string>

namespace tarnel::test {

// Objects written in the key order of the model's declaration, every optional present (maps, which
// keep no order, in sorted key order).
inline const char* const kUser = R"({"id":"u1","grp_id":"g","uid":"uid-1","uid_rate":"0.5","alterid":4,
  "email":"a@b.c","email_status":2,"expired":100,"expired_vip":200,"expired_svip":300,"code":"INV",
  "pcode":"P","mobile":"123","country_code":"86","promoter":1,"hot":"3","visibility_svip":1})";
inline const char* const kOther = R"({"version":3,"newest_version":5,"update_version":6,"marquee_version":"m",
  "disconnect_timeout":30,"reconnect_after":5,"card_version":2,"turn_node":true,"protocal_priority":["v","t"],
  "tag_version":"t1","protocal_version":"p1","country_version":"c1","app_domain_version":"d1","placard_version":"pl",
  "protocal_priority_trojan":["t"],"protocal_priority_vless":"v","node_updated_at":"n1","available_protocols":["v","c"],
  "config_text_version":"ct","notice_version":"nv","lite_update_interval":6,"load_refresh_interval":3,"node_retry":2,
  "user_version":"u1","proxy_version":"pv","device_count_list":"3,5,10"})";
inline const char* const kTag = R"({"id":7,"tag":"Streaming","icon":"i","icon_new":"https://x/i.png","vip":1})";
inline const char* const kCountry = R"({"country":"JP","name":"Japan","tags":[7,8],"sort":2})";
inline const char* const kNode = R"({"node_id":"n1","protocal":"v","unsupported":["t"],"name":"Tokyo 1","country":"JP",
  "port_turn":1,"enabled":2,"node_type":3,"tags":[7],"uptime":99})";
inline const char* const kProxyRule = R"({"direct":["a.com"],"proxy":["b.com","1.2.3.4"],"block":["c.com"]})";
inline const char* const kLink = R"({"show":true,"text":{"en":"News","zh":"公告"},"updated_at":1700000000,"id":4,
  "link":"https://x/news"})";
inline const char* const kDevice = R"({"device_id":"0123abcd","uid":"u","device_name":"Desk","device_model":"Mac14,2",
  "version":12,"platform":"darwin","created_at":"2024-01-01","updated_at":"2024-02-01","device_desc":"office"})";
inline const char* const kOpenNode = R"({"server":"1.2.3.4","host":"h.example","domain":"d.example","port":443})";
inline const char* const kOpenTrun = R"({"server":"5.6.7.8","port":8443,"ports":[8443,9443]})";
inline const char* const kCard = R"({"id":11,"expired":1700000000000,"num":1.5,"type":1,"unit":2})";
inline const char* const kRoll = R"({"id":12,"expired":0,"package":3,"price":0.85,"type":2})";
inline const char* const kNotice = R"({"id":9,"notice_at":"2024-05-01","title":"T","summary":"S","type":1,"auto_pop_up":0})";
inline const char* const kDnsEntry = R"({"host":"api.example","ip":["10.0.0.1","10.0.0.2"]})";
inline const char* const kUrls = R"({"apiReserve1":"r1.example","apiReserve2":"r2.example","officialSite":"site.example",
  "officials":["o1.example"],"share":"https://share/x","custom":"custom.example","route_list":"rl",
  "pay_cdn2":["pay.example"]})";
inline const char* const kClip = R"({"interval":10,"size":[1,2],"enabled":"1","app_version":3})";
inline const char* const kNavi = R"({"ver":1,"zh":"导航","en":"Navi","hk":"導航"})";

inline std::string join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const auto& p : parts) out += p;
  return out;
}

inline const std::string kLogin = join({R"({"user":)", kUser, R"(,"max_age":5,"expired":1,"expired_vip":1700000000,
  "expired_svip":2,"card_version":3,"email_status":2,"hot":"3","tags":[)", kTag, R"(],"countries":[)", kCountry,
                                 R"(],"other":)", kOther, R"(,"message":"hi",
  "config_text":{"LOGIN_PROMOTER_CODE":"PROMO","APP_STORE_PLAN_DESC":"desc"}})"});
inline const std::string kBase = join({R"({"tags":[)", kTag, R"(],"countries":[)", kCountry, R"(],"user":)", kUser,
                                R"(,"emails":["gmail.com"],"proxy_rule":)", kProxyRule, "}"});
inline const std::string kLive = join({R"({"max_age":9,"expired":1,"expired_vip":2,"expired_svip":3,"email_status":1,
  "hot":"1","other":)", kOther, R"(,"grp_id":"g","ports":[443,8443],"ports_trojan":[443],"op":"o","message":"m",
  "link":)", kLink, R"(,"device_count":5})"});
inline const std::string kHttpDnsBody = join({R"({"apicdn":"cdn.example","cdndl":"dl.example","dns":[)", kDnsEntry,
                                      R"(],"urls":)", kUrls, R"(,"clip":)", kClip,
                                      R"(,"cs":"help@example.org","navi":)", kNavi, "}"});

}  // namespace tarnel::test
