#pragma once

// The account pages' objects over the shell world: the device model, the account context wired
// to the real account check (as the program wires it), and the account menu with recorded
// desktop hooks.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

#include "tests/shell/ShellWorld.h"
#include "ui/account/AccountContext.h"
#include "ui/account/DeviceManager.h"
#include "ui/base/AppGlobals.h"
#include "ui/shell/AccountMenu.h"

namespace lumora::test {

struct AccountWorld : ShellWorld {
  AccountWorld()
      : devices(nullptr),
        context(fakes.services(), *ui.state, devices, contextHooks(), nullptr),
        menu(fakes.services(), *ui.state, menuHooks(), nullptr) {
    SharedInstance<DeviceManager>::install(&devices);
    SharedInstance<AccountContext>::install(&context);
    SharedInstance<AccountMenu>::install(&menu);
  }
  ~AccountWorld() {
    SharedInstance<AccountMenu>::uninstall(&menu);
    SharedInstance<AccountContext>::uninstall(&context);
    SharedInstance<DeviceManager>::uninstall(&devices);
    setAppStoreBuildForTesting(std::nullopt);
  }

  AccountContext::Hooks contextHooks() {
    AccountContext::Hooks hooks;
    hooks.login = [this](const QString& email, const QString& password, std::int64_t force, const QString& code,
                         AccountContext::Completion completion) {
      accountCheck.login(email, password, force, code, std::move(completion));
    };
    hooks.checkLive = [this](AccountContext::Completion completion) { accountCheck.checkLive(std::move(completion)); };
    hooks.vipRemainingTime = [this] { return accountCheck.vipRemainingTime(); };
    hooks.openUrl = [this](const QUrl& url) {
      browsed.push_back(url);
      return true;
    };
    hooks.hasWindow = [this] { return windowShown; };
    return hooks;
  }

  AccountMenu::Hooks menuHooks() {
    AccountMenu::Hooks hooks;
    hooks.openUrl = [this](const QUrl& url) {
      handed.push_back(url);
      return desktopOpens;
    };
    hooks.copyText = [this](const QString& text) { clipboard.push_back(text); };
    return hooks;
  }

  // The toast on screen, as its key or text.
  QString toastText() const { return ui.toast.isShowing() ? ui.toast.message() : QString(); }
  bool loadingShown() const { return ui.loading.isShowing(); }
  std::vector<std::string> events() const {
    fakes.logQueue->flush(std::chrono::seconds(30));
    return fakes.cloudLog->events();
  }

  // Waits, running the GUI thread's events, until `operation` of `script` was called `total`
  // times (chained calls hop through the GUI thread, so a blocking wait would stall them).
  static bool waitForCall(const FakeScript& script, const std::string& operation, std::size_t total = 1) {
    return waitFor([&] { return script.count(operation) >= total; });
  }

  bool windowShown = true;
  std::vector<QUrl> browsed;   // web pages handed to the browser by the account pages
  std::vector<QUrl> handed;    // addresses handed to the desktop by the menu
  bool desktopOpens = true;    // whether the desktop opened what the menu handed it
  QStringList clipboard;
  DeviceManager devices;
  AccountContext context;
  AccountMenu menu;
};

}  // namespace lumora::test
