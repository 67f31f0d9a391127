#pragma once

#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/info/InfoContext.h"

namespace lumora {

// The about page's facts and taps: the version line, the store flag, and the four links, each
// recorded before it acts. GUI thread only.
class InfoActions : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QString versionLine READ versionLine CONSTANT)
  Q_PROPERTY(bool isAppStore READ isAppStore CONSTANT)

 public:
  InfoActions(InfoContext context, QString version, QString build, bool isAppStore, QObject* parent);
  static InfoActions* create(QQmlEngine* qml, QJSEngine* js);

  // "Ver: <version>.<build>.<store|official>"
  QString versionLine() const;
  bool isAppStore() const { return isAppStore_; }

  Q_INVOKABLE void openOfficialWebsite();
  Q_INVOKABLE void openFeedback();
  Q_INVOKABLE void openTermsOfService();
  Q_INVOKABLE void openPrivacyPolicy();

 private:
  InfoContext context_;
  QString version_;
  QString build_;
  bool isAppStore_;
};

}  // namespace lumora
