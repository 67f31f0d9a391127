#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "services/model/NodeModels.h"

namespace tarnel {

// Narrows locations to one world region: the fixed map from region names to ISO 3166-1 alpha-2
// country codes, the user's chosen region (kept in the settings store, never in memory) and the
// filters of the country list and of the node list. Static members only; safe on any thread.
class AreaFilter {
 public:
  AreaFilter() = delete;

  using AreaMap = std::map<std::string, std::vector<std::string>>;

  // The region map, built from the fixed table on first use; the setter replaces it.
  static AreaMap areaMap();
  static void setAreaMap(AreaMap map);

  // The chosen region's name, or the empty text for every region (also when nothing, or no
  // text, is stored under AREA_ID). The setter stores the text under AREA_ID.
  static std::string selectedArea();
  static void setSelectedArea(const std::string& area);

  // The countries that carry `tag` (all of them without a tag) and lie in the chosen region,
  // in their order.
  static std::vector<Country> filter(const std::vector<Country>& countries, const std::optional<Tag>& tag);

  // The nodes that lie in the chosen region, in their order.
  static std::vector<Node> filterNodes(const std::vector<Node>& nodes);

 private:
  // The country codes of the chosen region, or none when every region counts: no region is
  // chosen, or the stored name is no longer a region of the map (a map replaced since).
  static std::optional<std::vector<std::string>> selectedCodes();
};

}  // namespace tarnel
