#include "ui/location/TagListModel.h"

#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/location/LocationScreen.h"

namespace lumora {

TagListModel::TagListModel(QObject* parent) : QAbstractListModel(parent) {
  attach(SharedInstance<LocationScreen>::get());
}

TagListModel::TagListModel(LocationScreen& screen, QObject* parent) : QAbstractListModel(parent) { attach(&screen); }

void TagListModel::attach(LocationScreen* screen) {
  if (!screen) return;
  screen_ = screen;
  AppStateManager* state = screen->context().state;
  connect(state, &AppStateManager::loginInfoChanged, this, &TagListModel::refresh);
  connect(state, &AppStateManager::currentTagChanged, this, &TagListModel::markChanged);
  refresh();
}

int TagListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(tags_.size());
}

QVariant TagListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !screen_) return {};
  const tarnel::Tag& tag = tags_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case NameRole:
      return QString::fromStdString(tag.tag);
    case TagIdRole:
      return QVariant::fromValue<qint64>(tag.id);
    case IconRole:
      return LocationScreen::webAddress(tag.icon_new);
    case CurrentRole: {
      const auto current = screen_->context().state->currentTag();
      return current.has_value() && current->id == tag.id;
    }
    default:
      return {};
  }
}

QHash<int, QByteArray> TagListModel::roleNames() const {
  return {{TagIdRole, "tagId"}, {NameRole, "name"}, {IconRole, "icon"}, {CurrentRole, "current"}};
}

void TagListModel::refresh() {
  if (!screen_) return;
  const std::uint64_t generation = ++generation_;
  auto status = screen_->context().services.status;
  Workers::run(this, [status] { return status->allTags(); },
               [this, generation](std::vector<tarnel::Tag> tags) {
                 // Only the latest read counts.
                 if (generation != generation_) return;
                 beginResetModel();
                 tags_ = std::move(tags);
                 endResetModel();
               });
}

void TagListModel::choose(int row) {
  if (!screen_ || row < 0 || row >= rowCount()) return;
  screen_->pickTag(tags_[static_cast<std::size_t>(row)]);
}

void TagListModel::markChanged() {
  if (tags_.empty()) return;
  emit dataChanged(index(0), index(rowCount() - 1), {CurrentRole});
}

}  // namespace lumora
