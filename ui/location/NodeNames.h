#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "services/model/NodeModels.h"

namespace lumora {

// A suggestion of the node search: a name prefix and how many nodes carry it.
struct SearchKey {
  QString name;
  int count = 0;

  bool operator==(const SearchKey&) const = default;
};

// The part of a node name before its first hyphen, empty pieces dropped ("JP-Tokyo-1" → "JP",
// "-Osaka-2" → "Osaka"); none for a name made only of hyphens, or an empty one.
std::optional<QString> namePrefix(const std::string& name);

// The suggestions for `nodes`: one key per distinct prefix (case kept), most nodes first; among
// keys of equal count, the one whose last node came earlier goes first. Nodes without a prefix
// count under no key.
std::vector<SearchKey> countSearchKeys(const std::vector<tarnel::Node>& nodes);

// Whether `text` contains `keyword`, letter case ignored; every text matches an empty keyword.
bool matchesKeyword(const QString& text, const QString& keyword);

// The signal picture of a node's uptime figure: green below 30, yellow below 60, red from 60
// and when the figure is missing.
QString signalImage(std::optional<std::int64_t> uptime);

}  // namespace lumora
