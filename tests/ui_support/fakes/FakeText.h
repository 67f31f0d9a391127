#pragma once

// How the fakes write the arguments of a call: one text per argument, short and stable, so a
// test compares whole calls (FakeCall{"setCurrentCountry", {"JP"}}).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/LogType.h"
#include "services/connection/Config.h"
#include "services/connection/VPNProtocol.h"
#include "services/log/EventType.h"
#include "services/log/LogTopic.h"
#include "services/model/NodeModels.h"
#include "services/model/RuleModels.h"
#include "ui/base/services/ConnectionService.h"

namespace lumora::fake_text {

inline std::string of(const std::string& text) { return text; }
inline std::string of(const char* text) { return text; }
inline std::string of(bool flag) { return flag ? "true" : "false"; }
inline std::string of(std::int64_t number) { return std::to_string(number); }
std::string of(tarnel::VPNProtocol protocol);    // the raw code; "AUTO" for the empty one
std::string of(tarnel::LogTopic topic);
std::string of(tarnel::EventType event);
std::string of(helmsey::LogType type);
std::string of(const tarnel::Node& node);        // its node_id
std::string of(const tarnel::Country& country);  // its code
std::string of(const tarnel::Tag& tag);          // its id
std::string of(const tarnel::ProxyRule& rule);   // "direct=a,b;proxy=c;block="
std::string of(const std::vector<std::string>& list);            // joined with ","
std::string of(const std::vector<std::int64_t>& list);           // joined with ","
std::string of(const std::map<std::string, std::string>& map);   // "k=v,k=v"
std::string of(const ConnectionSettings& settings);
std::string of(const tarnel::Config& config);    // its compact JSON

template <class T>
std::string of(const std::optional<T>& value) {
  return value ? of(*value) : std::string("none");
}

}  // namespace lumora::fake_text
