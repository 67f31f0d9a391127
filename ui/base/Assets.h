#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// Where the pictures are: image assets, system symbols and animations, by name. Names made at
// run time from rules go through the same calls.
class Assets {
 public:
  static QUrl image(const QString& name);
  static QUrl symbol(const QString& name);
  static QUrl animation(const QString& name);
  // The resource path (":/assets/...") of an animation, for readers that take a file name.
  static QString animationPath(const QString& name);
};

// The same lookups for QML, as the singleton `Assets`.
class AssetsForQml : public QObject {
  Q_OBJECT
  QML_NAMED_ELEMENT(Assets)
  QML_SINGLETON

 public:
  explicit AssetsForQml(QObject* parent = nullptr) : QObject(parent) {}

  Q_INVOKABLE QUrl image(const QString& name) const { return Assets::image(name); }
  Q_INVOKABLE QUrl symbol(const QString& name) const { return Assets::symbol(name); }
  Q_INVOKABLE QUrl animation(const QString& name) const { return Assets::animation(name); }
};

}  // namespace lumora
