#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <vector>

#include "services/model/NodeModels.h"

namespace lumora {

class LocationScreen;

// The countries of the location picker: the account's countries that carry the pending tag and
// lie in the chosen region, in the account's order. Recomputed on a worker whenever the account,
// the pending tag or the region changes; the mark follows the committed country. GUI thread only.
class CountryListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(bool ready READ ready NOTIFY readyChanged)

 public:
  enum Role { CodeRole = Qt::UserRole + 1, NameRole, FlagRole, CurrentRole };

  // Over the installed screen (what QML builds).
  explicit CountryListModel(QObject* parent = nullptr);
  explicit CountryListModel(LocationScreen& screen, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  // True once the first list has arrived.
  bool ready() const { return ready_; }
  const std::vector<tarnel::Country>& countries() const { return countries_; }

  Q_INVOKABLE void refresh();

 signals:
  void readyChanged();

 private:
  void attach(LocationScreen* screen);
  void apply(std::uint64_t generation, std::vector<tarnel::Country> countries);
  void markChanged();

  QPointer<LocationScreen> screen_;
  std::vector<tarnel::Country> countries_;
  std::uint64_t generation_ = 0;
  bool ready_ = false;
};

}  // namespace lumora
