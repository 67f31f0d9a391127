#include "ui/location/CountryListModel.h"

#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/location/LocationScreen.h"

namespace lumora {

CountryListModel::CountryListModel(QObject* parent) : QAbstractListModel(parent) {
  attach(SharedInstance<LocationScreen>::get());
}

CountryListModel::CountryListModel(LocationScreen& screen, QObject* parent) : QAbstractListModel(parent) {
  attach(&screen);
}

void CountryListModel::attach(LocationScreen* screen) {
  if (!screen) return;
  screen_ = screen;
  AppStateManager* state = screen->context().state;
  connect(state, &AppStateManager::loginInfoChanged, this, &CountryListModel::refresh);
  connect(state, &AppStateManager::selectedTagChanged, this, &CountryListModel::refresh);
  connect(state, &AppStateManager::selectedAreaChanged, this, &CountryListModel::refresh);
  connect(state, &AppStateManager::currentCountryChanged, this, &CountryListModel::markChanged);
  refresh();
}

int CountryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(countries_.size());
}

QVariant CountryListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) || !screen_) return {};
  const tarnel::Country& country = countries_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case NameRole:
      return QString::fromStdString(country.name);
    case CodeRole:
      return QString::fromStdString(country.country);
    case FlagRole:
      return screen_->flagAddress(country.country);
    case CurrentRole: {
      // By code: two countries may share a name.
      const auto current = screen_->context().state->currentCountry();
      return current.has_value() && current->country == country.country;
    }
    default:
      return {};
  }
}

QHash<int, QByteArray> CountryListModel::roleNames() const {
  return {{CodeRole, "code"}, {NameRole, "name"}, {FlagRole, "flag"}, {CurrentRole, "current"}};
}

void CountryListModel::refresh() {
  if (!screen_) return;
  const LocationContext& context = screen_->context();
  const std::uint64_t generation = ++generation_;
  auto nodes = context.services.nodes;
  auto countries = context.state->loginInfo().countries;
  auto tag = context.state->selectedTag();
  // The library reads the stored region; that may touch the disk.
  Workers::run(
      this, [nodes, countries = std::move(countries), tag] { return nodes->filterCountries(countries, tag); },
      [this, generation](std::vector<tarnel::Country> kept) { apply(generation, std::move(kept)); });
}

void CountryListModel::apply(std::uint64_t generation, std::vector<tarnel::Country> countries) {
  // Only the latest request counts: an older one may finish after it.
  if (generation != generation_) return;
  beginResetModel();
  countries_ = std::move(countries);
  endResetModel();
  if (!ready_) {
    ready_ = true;
    emit readyChanged();
  }
}

void CountryListModel::markChanged() {
  if (countries_.empty()) return;
  emit dataChanged(index(0), index(rowCount() - 1), {CurrentRole});
}

}  // namespace lumora
