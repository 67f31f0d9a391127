#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <vector>

#include "services/model/NodeModels.h"
#include "ui/location/NodeNames.h"

namespace lumora {

class LocationScreen;

// The suggestions of the node search, narrowed by the keyword. GUI thread only.
class SearchKeyModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("belongs to a node list")
  // Every key, whatever the keyword: the suggestions show only when there are two or more.
  Q_PROPERTY(int total READ total NOTIFY totalChanged)

 public:
  enum Role { NameRole = Qt::UserRole + 1, CountRole };

  explicit SearchKeyModel(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int total() const { return static_cast<int>(keys_.size()); }
  void setKeys(std::vector<SearchKey> keys);
  void setKeyword(const QString& keyword);
  // The keys shown, in order.
  std::vector<SearchKey> shown() const;

 signals:
  void totalChanged();

 private:
  void rebuild();

  std::vector<SearchKey> keys_;
  std::vector<std::size_t> shown_;
  QString keyword_;
};

// The nodes of one country for the node list, in the library's order, narrowed by the keyword,
// with the search suggestions made from their names. Fetched on a worker each time the list
// comes on screen, behind the loading overlay. The mark follows the current node by its id.
// GUI thread only.
class NodeListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString country READ country WRITE setCountry NOTIFY countryChanged)
  Q_PROPERTY(QString keyword READ keyword WRITE setKeyword NOTIFY keywordChanged)
  Q_PROPERTY(lumora::SearchKeyModel* keys READ keys CONSTANT)
  Q_PROPERTY(bool loaded READ loaded NOTIFY loadedChanged)

 public:
  enum Role { NodeIdRole = Qt::UserRole + 1, NameRole, FlagRole, SignalRole, CurrentRole };

  explicit NodeListModel(QObject* parent = nullptr);
  explicit NodeListModel(LocationScreen& screen, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  QString country() const { return country_; }
  void setCountry(const QString& code);
  QString keyword() const { return keyword_; }
  void setKeyword(const QString& keyword);
  SearchKeyModel* keys() { return &keys_; }
  bool loaded() const { return loaded_; }
  const std::vector<tarnel::Node>& nodes() const { return nodes_; }

  // Fetches the country's nodes (with the pending tag, any tag without one) and makes the keys
  // afresh from them.
  Q_INVOKABLE void load();
  // A tap on a suggestion: its name becomes the keyword.
  Q_INVOKABLE void selectKey(const QString& name) { setKeyword(name); }
  // A tap on the row: that node becomes the connection's target.
  Q_INVOKABLE void choose(int row);

 signals:
  void countryChanged();
  void keywordChanged();
  void loadedChanged();

 private:
  void attach(LocationScreen* screen);
  void apply(std::uint64_t generation, std::vector<tarnel::Node> nodes);
  void rebuild();
  void markChanged();

  QPointer<LocationScreen> screen_;
  QString country_;
  QString keyword_;
  std::vector<tarnel::Node> nodes_;
  std::vector<std::size_t> shown_;
  SearchKeyModel keys_;
  std::uint64_t generation_ = 0;
  bool loaded_ = false;
};

}  // namespace lumora
