#pragma once

#include <QSize>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

#include "ui/base/ModalWindowType.h"
#include "ui/base/services/Services.h"
#include "ui/store/StoreBackend.h"

namespace lumora {

class AppStateManager;

// What the shop, coupon and invitation pages need from the program around them. The
// composition root fills one and installs it (SharedInstance); each test fills its own.
struct StoreContext {
  Services services;
  AppStateManager* state = nullptr;
  // The app store; none where the platform has no store purchase (the manager then offers the
  // plan description and the web site instead).
  std::shared_ptr<StoreBackend> backend;
  // Fetches a token and opens the official site with it.
  std::function<void()> openOfficialWebsite;
  // The membership time left, as the account pages show it.
  std::function<QString()> vipRemainingTime;
  // Rechecks the account's status after something changed the membership.
  std::function<void()> refreshAccount;
  // The payment entry: the shop in store builds, else the payment page.
  std::function<void()> openPayment;
  // A secondary web window of the registry; `title` is a localisation key.
  std::function<void(ModalWindowType type, const QString& title, const QUrl& url, QSize size)> openWindow;
  // Whether the program has a window to put a secondary window beside; none: the main window.
  std::function<bool()> hasWindow;
  // Puts a text on the clipboard; none: the desktop clipboard.
  std::function<void(const QString&)> copyText;

  bool windowExists() const;
  void copy(const QString& text) const;
};

// The installed context, or an empty one.
StoreContext sharedStoreContext();

}  // namespace lumora
