#include "ui/location/NodeNames.h"

#include <QStringList>

#include <algorithm>

namespace lumora {

std::optional<QString> namePrefix(const std::string& name) {
  const QStringList pieces = QString::fromStdString(name).split(QLatin1Char('-'), Qt::SkipEmptyParts);
  if (pieces.isEmpty()) return std::nullopt;
  return pieces.first();
}

std::vector<SearchKey> countSearchKeys(const std::vector<tarnel::Node>& nodes) {
  std::vector<SearchKey> keys;
  for (const auto& node : nodes) {
    const auto prefix = namePrefix(node.name);
    if (!prefix) continue;
    const auto found = std::find_if(keys.begin(), keys.end(), [&](const SearchKey& key) { return key.name == *prefix; });
    if (found == keys.end()) {
      keys.push_back({*prefix, 1});
      continue;
    }
    // A key moves behind the others each time another of its nodes comes, so that among equal
    // counts the key whose last node came first leads.
    SearchKey moved{found->name, found->count + 1};
    keys.erase(found);
    keys.push_back(std::move(moved));
  }
  std::stable_sort(keys.begin(), keys.end(), [](const SearchKey& a, const SearchKey& b) { return a.count > b.count; });
  return keys;
}

bool matchesKeyword(const QString& text, const QString& keyword) {
  return keyword.isEmpty() || text.toUpper().contains(keyword.toUpper());
}

QString signalImage(std::optional<std::int64_t> uptime) {
  if (!uptime || *uptime >= 60) return QStringLiteral("ic_signal_red");
  if (*uptime < 30) return QStringLiteral("ic_signal_green");
  return QStringLiteral("ic_signal_yellow");
}

}  // namespace lumora
