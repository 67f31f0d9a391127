#pragma once

// The advanced settings object over the service fakes, installed as the program installs it,
// with the app state, the router and the feedback managers the pages use.

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>

#include <memory>
#include <string>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/connection/AdvancedSettings.h"

namespace lumora::test {

struct SettingsWorld {
  SettingsWorld() : ui(fakes.services(), AppStateOptions{}), settings(fakes.services(), *ui.state) {
    SharedInstance<AdvancedSettings>::install(&settings);
  }
  ~SettingsWorld() { SharedInstance<AdvancedSettings>::uninstall(&settings); }

  Router& router() { return *ui.state->router(); }

  // Seeds the locally held rule without counting it as a save of the page.
  void holdRule(const tarnel::ProxyRule& rule) {
    fakes.status->setProxyRule(rule);
    fakes.status->script.clearCalls();
  }

  // Builds a page of Lumora.Connection by file name; null (and a failure) when it does not load.
  std::unique_ptr<QQuickItem> page(QQmlEngine& engine, const char* file) {
    ui.prepare(engine);
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Lumora/Connection/") + QString::fromUtf8(file)));
    std::unique_ptr<QQuickItem> item(qobject_cast<QQuickItem*>(component.create()));
    if (!item) ADD_FAILURE() << component.errorString().toStdString();
    return item;
  }

  FakeServices fakes;
  UiObjects ui;
  AdvancedSettings settings;
};

// By object name through the visual tree as well as the object tree.
inline QQuickItem* findItem(QObject* root, const QString& name) {
  if (!root) return nullptr;
  if (auto* found = root->findChild<QQuickItem*>(name)) return found;
  if (auto* item = qobject_cast<QQuickItem*>(root)) {
    for (QQuickItem* child : item->childItems()) {
      if (child->objectName() == name) return child;
      if (auto* found = findItem(child, name)) return found;
    }
  }
  return nullptr;
}

}  // namespace lumora::test
