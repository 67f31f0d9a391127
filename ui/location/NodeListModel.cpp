#include "ui/location/NodeListModel.h"

#include <memory>

#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/location/LocationScreen.h"

namespace lumora {

int SearchKeyModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant SearchKeyModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  const SearchKey& key = keys_[shown_[static_cast<std::size_t>(index.row())]];
  switch (role) {
    case Qt::DisplayRole:
    case NameRole:
      return key.name;
    case CountRole:
      return key.count;
    default:
      return {};
  }
}

QHash<int, QByteArray> SearchKeyModel::roleNames() const { return {{NameRole, "name"}, {CountRole, "count"}}; }

void SearchKeyModel::setKeys(std::vector<SearchKey> keys) {
  const bool totalDiffers = keys.size() != keys_.size();
  beginResetModel();
  keys_ = std::move(keys);
  rebuild();
  endResetModel();
  if (totalDiffers) emit totalChanged();
}

void SearchKeyModel::setKeyword(const QString& keyword) {
  if (keyword == keyword_) return;
  beginResetModel();
  keyword_ = keyword;
  rebuild();
  endResetModel();
}

std::vector<SearchKey> SearchKeyModel::shown() const {
  std::vector<SearchKey> keys;
  for (const auto i : shown_) keys.push_back(keys_[i]);
  return keys;
}

void SearchKeyModel::rebuild() {
  shown_.clear();
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (matchesKeyword(keys_[i].name, keyword_)) shown_.push_back(i);
  }
}

NodeListModel::NodeListModel(QObject* parent) : QAbstractListModel(parent) {
  attach(SharedInstance<LocationScreen>::get());
}

NodeListModel::NodeListModel(LocationScreen& screen, QObject* parent) : QAbstractListModel(parent) {
  attach(&screen);
}

void NodeListModel::attach(LocationScreen* screen) {
  if (!screen) return;
  screen_ = screen;
  // The library's current node follows the user's pick, which the app state mirrors.
  connect(screen->context().state, &AppStateManager::locationChanged, this, &NodeListModel::markChanged);
}

int NodeListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant NodeListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !screen_) return {};
  const tarnel::Node& node = nodes_[shown_[static_cast<std::size_t>(index.row())]];
  switch (role) {
    case Qt::DisplayRole:
    case NameRole:
      return QString::fromStdString(node.name);
    case NodeIdRole:
      return QString::fromStdString(node.node_id);
    case FlagRole:
      return screen_->flagAddress(node.country);
    case SignalRole:
      return signalImage(node.uptime);
    case CurrentRole: {
      // By id: several nodes may carry the same name.
      const auto current = screen_->context().services.nodes->currentNode();
      return current.has_value() && current->node_id == node.node_id;
    }
    default:
      return {};
  }
}

QHash<int, QByteArray> NodeListModel::roleNames() const {
  return {{NodeIdRole, "nodeId"}, {NameRole, "name"}, {FlagRole, "flag"}, {SignalRole, "signal"}, {CurrentRole, "current"}};
}

void NodeListModel::setCountry(const QString& code) {
  if (code == country_) return;
  country_ = code;
  emit countryChanged();
}

void NodeListModel::setKeyword(const QString& keyword) {
  if (keyword == keyword_) return;
  beginResetModel();
  keyword_ = keyword;
  rebuild();
  endResetModel();
  keys_.setKeyword(keyword);
  emit keywordChanged();
}

void NodeListModel::load() {
  if (!screen_) return;
  const LocationContext& context = screen_->context();
  const std::uint64_t generation = ++generation_;
  const auto tag = context.state->selectedTag();
  const std::int64_t tagId = tag ? tag->id : -1;
  auto nodes = context.services.nodes;
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QStringLiteral("Loading nodes")));
  Workers::run(
      this, [nodes, country = country_.toStdString(), tagId] { return nodes->nodesByCountry(country, tagId); },
      [this, generation, ticket](std::vector<tarnel::Node> fetched) {
        ticket->hide();
        apply(generation, std::move(fetched));
      });
}

void NodeListModel::apply(std::uint64_t generation, std::vector<tarnel::Node> nodes) {
  // Only the latest fetch counts: an older one may finish after it.
  if (generation != generation_) return;
  // The keys come from this fetch alone, so a second showing of the list counts each node once.
  keys_.setKeys(countSearchKeys(nodes));
  beginResetModel();
  nodes_ = std::move(nodes);
  rebuild();
  endResetModel();
  if (!loaded_) {
    loaded_ = true;
    emit loadedChanged();
  }
}

void NodeListModel::rebuild() {
  shown_.clear();
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    if (matchesKeyword(QString::fromStdString(nodes_[i].name), keyword_)) shown_.push_back(i);
  }
}

void NodeListModel::choose(int row) {
  if (!screen_ || row < 0 || row >= rowCount()) return;
  // A copy: the choice closes the page, and this model with it.
  const tarnel::Node node = nodes_[shown_[static_cast<std::size_t>(row)]];
  screen_->chooseNode(node);
}

void NodeListModel::markChanged() {
  if (shown_.empty()) return;
  emit dataChanged(index(0), index(rowCount() - 1), {CurrentRole});
}

}  // namespace lumora
