#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/info/InfoContext.h"

namespace lumora {

// The mobile app page's one value: the address of the mobile download page, which host
// discovery supplies. Read on a worker; empty until it arrives. GUI thread only.
class MobileAppModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString address READ address NOTIFY addressChanged)

 public:
  explicit MobileAppModel(QObject* parent = nullptr);
  MobileAppModel(InfoContext context, QObject* parent);

  QString address() const { return address_; }
  // Reads the address again (the page does each time it is shown).
  Q_INVOKABLE void load();

 signals:
  void addressChanged();

 private:
  InfoContext context_;
  QString address_;
};

}  // namespace lumora
