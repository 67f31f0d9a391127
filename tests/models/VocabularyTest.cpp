#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <string_view>

#include "services/base/ConnectStep.h"
#include "services/base/VPNProtocol.h"
#include "services/log/EventType.h"
#include "services/log/LogTopic.h"

namespace tarnel {
namespace {

bool isUpperSnake(std::string_view text) {
  if (text.empty() || text.front() == '_' || text.back() == '_') return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      if (text[i - 1] == '_') return false;
    } else if (!std::isupper(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  return true;
}

// Every case maps to a distinct text that maps back to it; `fromRaw` is the vocabulary's parser.
template <class E, std::size_t N, class FromRaw>
void expectRoundTrip(const std::array<E, N>& all, FromRaw fromRaw) {
  std::set<std::string_view> seen;
  for (const E value : all) {
    const auto raw = rawValue(value);
    EXPECT_TRUE(seen.insert(raw).second) << "duplicate raw value " << raw;
    const auto back = fromRaw(raw);
    ASSERT_TRUE(back.has_value()) << raw;
    EXPECT_EQ(*back, value) << raw;
  }
}

TEST(VPNProtocolVocabulary, CodesRoundTripAndOtherTextsGiveNone) {
  expectRoundTrip(kAllVPNProtocols, vpnProtocolFromRaw);
  EXPECT_EQ(vpnProtocolFromRaw(""), VPNProtocol::AUTO);
  EXPECT_EQ(vpnProtocolFromRaw("c"), VPNProtocol::TROJAN_WS);
  EXPECT_EQ(vpnProtocolFromRaw("ts"), VPNProtocol::VMESS_TURN);

  for (const char* unknown : {"B", "t", "a", "C", "TS", "tS", " c", "c ", "bb", "AUTO", "TROJAN_WS", "Automatic", "K"}) {
    EXPECT_FALSE(vpnProtocolFromRaw(unknown).has_value()) << '"' << unknown << '"';
  }
  // An embedded NUL must not let a prefix match.
  EXPECT_FALSE(vpnProtocolFromRaw(std::string_view("b\0", 2)).has_value());
}

TEST(VPNProtocolVocabulary, DerivedProperties) {
  struct Row {
    VPNProtocol protocol;
    std::string_view raw;
    std::string_view name;
    bool direct;
    std::string_view spacing;
  };
  // The rows the service and the stored settings rely on.
  const Row rows[] = {
      {VPNProtocol::AUTO, "", "Automatic", false, "a"},
      {VPNProtocol::VMESS_TLS, "b", "I", true, "a"},
      {VPNProtocol::VLESS_TURN, "e", "W", false, "a"},
      {VPNProtocol::TROJAN_TLS, "f", "Q", true, "a"},
      {VPNProtocol::TROJAN_WS, "c", "K", false, "c"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.raw));
    EXPECT_EQ(rawValue(row.protocol), row.raw);
    EXPECT_EQ(Name(row.protocol), row.name);
    EXPECT_EQ(isDirect(row.protocol), row.direct);
    EXPECT_EQ(domainSpacing(row.protocol), row.spacing);
  }

  std::set<std::string_view> names;
  int direct = 0;
  for (const auto protocol : kAllVPNProtocols) {
    EXPECT_TRUE(names.insert(Name(protocol)).second);
    if (protocol != VPNProtocol::AUTO) {
      ASSERT_EQ(Name(protocol).size(), 1u);
      EXPECT_TRUE(std::isupper(static_cast<unsigned char>(Name(protocol)[0])));
    }
    // Only the TLS variants are direct, and only the WebSocket variant has its own label.
    const bool tls = protocol == VPNProtocol::VMESS_TLS || protocol == VPNProtocol::VLESS_TLS ||
                     protocol == VPNProtocol::TROJAN_TLS;
    EXPECT_EQ(isDirect(protocol), tls) << rawValue(protocol);
    EXPECT_EQ(domainSpacing(protocol), protocol == VPNProtocol::TROJAN_WS ? "c" : "a") << rawValue(protocol);
    direct += isDirect(protocol) ? 1 : 0;
  }
  EXPECT_EQ(kAllVPNProtocols.size(), 8u);
  EXPECT_EQ(direct, 3);
}

TEST(ConnectStepVocabulary, NamesRoundTripExactly) {
  expectRoundTrip(kAllConnectSteps, connectStepFromRaw);
  EXPECT_EQ(kAllConnectSteps.size(), 5u);
  EXPECT_EQ(rawValue(ConnectStep::check_availability), "check_availability");
  EXPECT_EQ(connectStepFromRaw("open_connect"), ConnectStep::open_connect);
  for (const char* unknown : {"Open_node", "OPEN_NODE", "check_port ", "connect success", "", "connected"}) {
    EXPECT_FALSE(connectStepFromRaw(unknown).has_value()) << '"' << unknown << '"';
  }
}

TEST(LogTopicVocabulary, TenTopicsNamedByTheirCase) {
  EXPECT_EQ(kAllLogTopics.size(), 10u);
  expectRoundTrip(kAllLogTopics, logTopicFromRaw);
  for (const auto topic : kAllLogTopics) EXPECT_TRUE(isUpperSnake(rawValue(topic))) << rawValue(topic);

  EXPECT_EQ(logTopicFromRaw("ERROR_API"), LogTopic::ERROR_API);
  EXPECT_EQ(rawValue(LogTopic::FEEDBACK_PC), "FEEDBACK_PC");
  EXPECT_EQ(rawValue(LogTopic::ERROR_NODE_USABILITY), "ERROR_NODE_USABILITY");
  EXPECT_EQ(rawValue(kAllLogTopics.front()), "APPCTRL");
  EXPECT_EQ(rawValue(kAllLogTopics.back()), "CRASH");
  for (const char* unknown : {"error_api", "ERROR_API ", " ERROR_API", "Error_Api", "ERROR", ""}) {
    EXPECT_FALSE(logTopicFromRaw(unknown).has_value()) << '"' << unknown << '"';
  }
}

TEST(EventTypeVocabulary, FiftySevenEventsInWireOrder) {
  EXPECT_EQ(kAllEventTypes.size(), 57u);
  expectRoundTrip(kAllEventTypes, eventTypeFromRaw);
  for (const auto event : kAllEventTypes) EXPECT_TRUE(isUpperSnake(rawValue(event))) << rawValue(event);

  // Positions where the order is not alphabetical, and the odd spelling the service expects.
  const std::pair<std::size_t, std::string_view> positions[] = {
      {0, "BULLETIN_CLICK"}, {2, "BULLETIN_READED"},  {18, "MENU_COUPON_CENTER"}, {19, "MENU_MOBILE"},
      {20, "MENU_FEEDBACK"}, {50, "SIGN_UP"},         {51, "APP_OPEN"},           {52, "HOME_CONNECT"},
      {55, "OPEN_NAVI"},     {56, "NAVI"},
  };
  for (const auto& [index, text] : positions) EXPECT_EQ(rawValue(kAllEventTypes[index]), text) << index;

  EXPECT_EQ(eventTypeFromRaw("BULLETIN_READED"), EventType::BULLETIN_READED);
  EXPECT_EQ(static_cast<std::size_t>(EventType::BULLETIN_READED), 2u);
  EXPECT_EQ(eventTypeFromRaw("SETTING_SWITCH_LANGUAGES"), EventType::SETTING_SWITCH_LANGUAGES);
  for (const char* unknown : {"BULLETIN_READ", "BULLETIN_READED ", "bulletin_readed", "HOME-CONNECT", "NAV", ""}) {
    EXPECT_FALSE(eventTypeFromRaw(unknown).has_value()) << '"' << unknown << '"';
  }
}

}  // namespace
}  // namespace tarnel
