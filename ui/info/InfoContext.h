#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class ConnectFront;
class ModalWindows;

// What the information pages need from the program around them. The composition root fills one
// and installs it (SharedInstance); each test fills its own with fakes.
struct InfoContext {
  Services services;
  AppStateManager* state = nullptr;
  ModalWindows* windows = nullptr;
  // Brings the VPN up (the home switch's toggle); none: "qnavigation" links open nothing.
  std::shared_ptr<ConnectFront> front;
  // The desktop's opener; handed only http and https addresses.
  std::function<bool(const QUrl&)> openUrl;
  // Opens the clipboard warning window in the registry.
  std::function<void()> openClipboardWarning;
  // Fetches a token and opens the official site with it.
  std::function<void()> openOfficialWebsite;
  // The clipboard's text and its emptying; none: the desktop clipboard.
  std::function<QString()> clipboardText;
  std::function<void()> clearClipboard;
  // Whether the program has a window to put a secondary window beside; none: the main window.
  std::function<bool()> hasWindow;
  // Calls `changed` on the GUI thread, in `receiver`'s context, each time the clipboard's
  // content changes; none: the desktop clipboard's own notice (on X11 it comes whenever any
  // program takes the clipboard).
  std::function<QMetaObject::Connection(QObject* receiver, std::function<void()> changed)> watchClipboard;

  bool windowExists() const;
  QString readClipboard() const;
  void emptyClipboard() const;
  QMetaObject::Connection onClipboardChange(QObject* receiver, std::function<void()> changed) const;
};

}  // namespace lumora
