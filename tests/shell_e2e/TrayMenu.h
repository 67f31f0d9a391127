#pragma once

// The program's tray item as the tray host (trayer) embedded it, and its menu, used as a user
// does: a click on the icon opens the menu, a click on an action triggers it.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include "tests/shell_e2e/AppWorld.h"
#include "ui/base/Feedback.h"

namespace lumora::test::tray {

// The tray menu: the menu without a parent that ends with "quit".
inline QMenu* menu() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* found = qobject_cast<QMenu*>(widget);
    if (found && found->actions().size() == 7 && found->actions().back()->text() == localized(QStringLiteral("quit"))) {
      return found;
    }
  }
  return nullptr;
}

// The icon in the tray host.
inline QWidget* icon() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (QLatin1String(widget->metaObject()->className()) == QLatin1String("QSystemTrayIconSys") &&
        widget->isVisible()) {
      return widget;
    }
  }
  return nullptr;
}

// Opens the menu with a click on the icon and clicks the action at `index`.
inline bool click(int index) {
  QWidget* trayIcon = icon();
  if (!trayIcon) return false;
  QTest::mouseClick(trayIcon, Qt::LeftButton);
  QMenu* shown = nullptr;
  if (!waitFor([&] { return (shown = menu()) && shown->isVisible(); })) return false;
  QAction* action = shown->actions().at(index);
  QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(action).center());
  return true;
}

// The menu's actions by place.
constexpr int kShowOrHide = 0;
constexpr int kConnect = 1;

}  // namespace lumora::test::tray
