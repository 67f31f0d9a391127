#include "tests/ui_support/fakes/FakeServices.h"

#include <algorithm>
#include <cctype>

namespace lumora {

std::vector<tarnel::Country> FakeNodeSelection::filterCountries(const std::vector<tarnel::Country>& countries,
                                                                const std::optional<tarnel::Tag>& tag) {
  script.call("filterCountries", {fake_text::of(tag)});
  const auto regions = areaMap();
  const auto region = regions.find(selectedArea());
  std::vector<tarnel::Country> kept;
  for (const auto& country : countries) {
    if (tag && std::find(country.tags.begin(), country.tags.end(), tag->id) == country.tags.end()) continue;
    if (region != regions.end() &&
        std::find(region->second.begin(), region->second.end(), country.country) == region->second.end()) {
      continue;
    }
    kept.push_back(country);
  }
  return kept;
}

std::map<std::string, std::vector<std::string>> FakeNodeSelection::defaultAreaMap() {
  return {{"Asia", {"JP", "KR", "HK", "TW"}},
          {"Southeast Asia", {"SG", "TH", "VN"}},
          {"Middle East", {"AE", "TR"}},
          {"Americas", {"US", "CA", "BR"}},
          {"Europe", {"GB", "DE", "FR", "NL"}},
          {"Eastern Europe", {"PL", "UA"}},
          {"Oceania", {"AU", "NZ"}},
          {"Africa", {"ZA", "EG"}}};
}

std::string FakeLinkService::countryIcon(const std::string& countryCode) {
  const std::string format =
      script.call<std::string>("countryIcon", {countryCode}, "https://127.0.0.1:9/flags/%@.png");
  if (countryCode.empty() || format.empty()) return {};
  std::string code = countryCode;
  std::transform(code.begin(), code.end(), code.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  std::string url = format;
  if (const auto at = url.find("%@"); at != std::string::npos) url.replace(at, 2, code);
  return url;
}

}  // namespace lumora
