#pragma once

#include <QList>
#include <QSslCertificate>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class ModalWindows;

// What the information pages need from the program around them. The composition root fills one
// and installs it (SharedInstance); each test fills its own with fakes.
struct InfoContext {
  Services services;
  AppStateManager* state = nullptr;
  ModalWindows* windows = nullptr;
  // Brings the VPN up as the home switch's toggle does and runs `onConnected` once that attempt
  // is up; the next toggle (the user's own) replaces the action, so it never runs for a later
  // connection. None: "qnavigation" links open nothing while disconnected.
  std::function<void(std::function<void()> onConnected)> connect;
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
  // How long a web page may take to load before its load is given up.
  std::chrono::milliseconds pageLoadTimeout = std::chrono::seconds(60);
  // Whether a page's certificate chain, which the browser engine refused, is one the program
  // itself trusts for that host (a development build trusts its development service); none:
  // the browser engine's refusal stands.
  std::function<bool(const QList<QSslCertificate>& chain, const QString& host)> trustsCertificate;
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
