#include "tests/ui_support/fakes/FakeText.h"

#include "services/model/Json.h"

namespace lumora::fake_text {

std::string of(tarnel::VPNProtocol protocol) {
  const auto raw = tarnel::rawValue(protocol);
  return raw.empty() ? std::string("AUTO") : std::string(raw);
}
std::string of(tarnel::LogTopic topic) { return std::string(tarnel::rawValue(topic)); }
std::string of(tarnel::EventType event) { return std::string(tarnel::rawValue(event)); }
std::string of(helmsey::LogType type) { return type == helmsey::LogType::core ? "core" : "crash"; }
std::string of(const tarnel::Node& node) { return node.node_id; }
std::string of(const tarnel::Country& country) { return country.country; }
std::string of(const tarnel::Tag& tag) { return std::to_string(tag.id); }

std::string of(const std::vector<std::string>& list) {
  std::string text;
  for (const auto& item : list) text += (text.empty() ? "" : ",") + item;
  return text;
}

std::string of(const std::vector<std::int64_t>& list) {
  std::string text;
  for (const auto item : list) text += (text.empty() ? "" : ",") + std::to_string(item);
  return text;
}

std::string of(const tarnel::ProxyRule& rule) {
  return "direct=" + of(rule.direct) + ";proxy=" + of(rule.proxy) + ";block=" + of(rule.block);
}

std::string of(const std::map<std::string, std::string>& map) {
  std::string text;
  for (const auto& [key, value] : map) text += (text.empty() ? "" : ",") + key + "=" + value;
  return text;
}

std::string of(const ConnectionSettings& s) {
  return "smartRoute=" + of(s.smartRoute) + ",tunnel=" + of(s.tunnel) + ",autoReconnect=" + of(s.autoReconnect) +
         ",checkConnection=" + of(s.checkConnection) + ",enableSystemProxy=" + of(s.enableSystemProxy) +
         ",enableCmdProxy=" + of(s.enableCmdProxy) + ",dnsServer=" + s.dnsServer + ",strategy=" + s.strategy;
}

std::string of(const tarnel::Config& config) { return tarnel::toMap(config).dump(); }

}  // namespace lumora::fake_text
