#include "services/connection/AreaFilter.h"

#include <algorithm>
#include <mutex>

#include "services/common/Store.h"

namespace tarnel {
namespace {

AreaFilter::AreaMap builtInAreas() {
  return {
      {"Asia", {"AM", "AZ", "BD", "BT", "CN", "GE", "HK", "IN", "JP", "KZ", "KP", "KR",
                "KG", "MO", "MV", "MN", "NP", "PK", "LK", "TW", "TJ", "TM", "UZ"}},
      {"Southeast Asia", {"SG", "TH", "ID", "PH", "MY", "VN", "MM", "KH", "LA", "BN", "TL"}},
      {"Middle East", {"AF", "BH", "EG", "IR", "IQ", "IL", "JO", "KW", "LB", "OM", "QA", "SA", "SY", "AE", "YE"}},
      {"Americas", {"AG", "AR", "BS", "BB", "BZ", "BO", "BR", "CA", "CL", "CO", "CR", "CU",
                    "DM", "DO", "EC", "SV", "GD", "GT", "GY", "HT", "HN", "JM", "MX", "NI",
                    "PA", "PY", "PE", "KN", "VC", "SR", "TT", "US", "UY", "VE", "LC"}},
      {"Europe", {"AD", "AT", "BE", "CY", "DK", "FI", "FR", "DE", "GR", "VA", "IS", "IE", "IT",
                  "LI", "LU", "MT", "MC", "NL", "NO", "PT", "ES", "SE", "CH", "TR", "GB", "SM"}},
      {"Eastern Europe", {"AL", "RU", "BA", "BY", "EE", "LV", "LT", "UA", "MD", "ME",
                          "MK", "HR", "SI", "BG", "RO", "HU", "CZ", "SK", "RS", "PL"}},
      {"Oceania", {"AU", "FJ", "NZ", "TO", "SB", "TV", "VU", "KI", "MH", "NR", "PW", "PG", "WS"}},
      {"Africa", {"DZ", "AO", "BJ", "BW", "BF", "BI", "CV", "CM", "CF", "TD", "KM", "CG", "CD", "CI",
                  "DJ", "GQ", "ER", "SZ", "ET", "GA", "GM", "GH", "GN", "GW", "KE", "LS", "LR", "MG",
                  "MW", "ML", "MR", "MA", "MZ", "NA", "NE", "NG", "RW", "ST", "SN", "SC", "SL", "SO",
                  "ZA", "SS", "SD", "TZ", "TG", "TN", "UG", "ZM", "ZW", "LY", "MU"}},
  };
}

struct AreaState {
  std::mutex mutex;
  AreaFilter::AreaMap map = builtInAreas();
};

AreaState& state() {
  static AreaState instance;
  return instance;
}

bool contains(const std::vector<std::string>& codes, const std::string& code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

AreaFilter::AreaMap AreaFilter::areaMap() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.map;
}

void AreaFilter::setAreaMap(AreaMap map) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.map = std::move(map);
}

std::string AreaFilter::selectedArea() {
  const auto stored = Store::getValue(StoreKeys::AREA_ID);
  if (!stored) return {};
  return stored->string().value_or(std::string());
}

void AreaFilter::setSelectedArea(const std::string& area) { Store::setValue(StoreKeys::AREA_ID, area); }

std::optional<std::vector<std::string>> AreaFilter::selectedCodes() {
  const std::string area = selectedArea();
  if (area.empty()) return std::nullopt;
  auto& s = state();
  std::lock_guard lock(s.mutex);
  const auto it = s.map.find(area);
  if (it == s.map.end()) return std::nullopt;
  return it->second;
}

std::vector<Country> AreaFilter::filter(const std::vector<Country>& countries, const std::optional<Tag>& tag) {
  const auto codes = selectedCodes();
  std::vector<Country> kept;
  for (const auto& country : countries) {
    if (tag && std::find(country.tags.begin(), country.tags.end(), tag->id) == country.tags.end()) continue;
    if (codes && !contains(*codes, country.country)) continue;
    kept.push_back(country);
  }
  return kept;
}

std::vector<Node> AreaFilter::filterNodes(const std::vector<Node>& nodes) {
  const auto codes = selectedCodes();
  if (!codes) return nodes;
  std::vector<Node> kept;
  for (const auto& node : nodes) {
    if (contains(*codes, node.country)) kept.push_back(node);
  }
  return kept;
}

}  // namespace tarnel
