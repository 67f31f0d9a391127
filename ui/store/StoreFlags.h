#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include "ui/base/AppGlobals.h"

namespace lumora {

// Whether this build sells through the app store, for the route table: only store builds have
// a shop page.
class StoreFlags : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  explicit StoreFlags(QObject* parent = nullptr) : QObject(parent) {}
  Q_INVOKABLE bool shopAvailable() const { return isAppStoreBuild(); }
};

}  // namespace lumora
