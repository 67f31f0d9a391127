#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <string>

#include "services/model/NodeModels.h"
#include "ui/location/LocationContext.h"

namespace lumora {

// The choices of the location, node and tag pages and what the pages show of the shared state:
// the pending tag of the header, the region tabs, the automatic entry's mark and the flag
// addresses. A country or node chosen here becomes the committed location, which restarts the
// connection through the app state. GUI thread only.
class LocationScreen : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QStringList areas READ areas CONSTANT)
  Q_PROPERTY(bool hasPendingTag READ hasPendingTag NOTIFY pendingTagChanged)
  Q_PROPERTY(QString pendingTagName READ pendingTagName NOTIFY pendingTagChanged)
  Q_PROPERTY(QString pendingTagIcon READ pendingTagIcon NOTIFY pendingTagChanged)
  Q_PROPERTY(bool autoChosen READ autoChosen NOTIFY autoChosenChanged)

 public:
  // The region tabs in this order; a region of the library's map that is not listed here
  // follows them, by name.
  static const QStringList kAreaOrder;

  LocationScreen(LocationContext context, QObject* parent = nullptr);
  static LocationScreen* create(QQmlEngine* qml, QJSEngine* js);

  QStringList areas() const { return areas_; }
  bool hasPendingTag() const;
  QString pendingTagName() const;
  QString pendingTagIcon() const;
  bool autoChosen() const;

  // A tap on a region tab: chooses it, or clears the choice when it was chosen.
  Q_INVOKABLE void chooseArea(const QString& area);
  // A tap on a country row ("" for the automatic entry): the pending tag and the country become
  // the committed ones, and the page closes.
  Q_INVOKABLE void chooseCountry(const QString& code);
  void chooseLocation(const std::optional<tarnel::Country>& country);
  // A tap on a node row: the page closes, and the pending tag and the node become the committed ones.
  void chooseNode(const tarnel::Node& node);
  // The tag picker: the pending tag (none: "No select tag") and on to the location picker.
  void pickTag(const std::optional<tarnel::Tag>& tag);
  Q_INVOKABLE void clearTag() { pickTag(std::nullopt); }

  Q_INVOKABLE void openTags();
  Q_INVOKABLE void openNodes(const QString& code, const QString& name);
  Q_INVOKABLE void cancel();

  // The flag picture of a country code (any case); empty when the address is no web address.
  QString flagAddress(const std::string& code) const;
  // A picture address given by the service; empty unless it is a web address.
  static QString webAddress(const std::string& text);

  const LocationContext& context() const { return context_; }

 signals:
  void pendingTagChanged();
  void autoChosenChanged();

 private:
  LocationContext context_;
  QStringList areas_;
};

}  // namespace lumora
