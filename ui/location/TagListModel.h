#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <vector>

#include "services/model/NodeModels.h"

namespace lumora {

class LocationScreen;

// The tiles of the tag picker: the account's tags that some country carries, in the account's
// order, read on a worker. The mark follows the tag in effect (by id), not the pending one.
// GUI thread only.
class TagListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT

 public:
  enum Role { TagIdRole = Qt::UserRole + 1, NameRole, IconRole, CurrentRole };

  explicit TagListModel(QObject* parent = nullptr);
  explicit TagListModel(LocationScreen& screen, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  const std::vector<tarnel::Tag>& tags() const { return tags_; }

  Q_INVOKABLE void refresh();
  // A tap on a tile: its tag becomes the pending one and the location picker opens.
  Q_INVOKABLE void choose(int row);

 private:
  void attach(LocationScreen* screen);
  void markChanged();

  QPointer<LocationScreen> screen_;
  std::vector<tarnel::Tag> tags_;
  std::uint64_t generation_ = 0;
};

}  // namespace lumora
