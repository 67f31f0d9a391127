#pragma once

// The shell's objects over the service fakes, built as the program builds them, for scenario
// tests: state objects, quit path with recorded exits, account check with a recorded opener.

#include <QUrl>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/ui/UiTestSupport.h"
#include "tests/ui_support/fakes/FakeServices.h"
#include "tests/ui_support/fakes/RecordingFront.h"
#include "ui/base/ConnectFront.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/UiObjects.h"
#include "ui/shell/AccountCheck.h"
#include "ui/shell/QuitPath.h"
#include "ui/shell/StartupController.h"

namespace lumora::test {

inline tarnel::Login accountLogin(const std::string& id = "u-1") {
  tarnel::Login login;
  login.user.id = id;
  login.user.email = "me@example.test";
  login.user.email_status = 2;
  return login;
}

inline tarnel::Login guestLogin() {
  tarnel::Login login;
  login.user.id = "u-guest";
  login.user.email_status = 0;
  return login;
}

struct ShellWorld {
  // The fake engine reports its stops at once: only a stop held on purpose meets the bound.
  explicit ShellWorld(std::chrono::milliseconds stopBound = std::chrono::seconds(30))
      : ui(fakes.services(), AppStateOptions{}),
        quitPath(fakes.engine, actions(), stopBound),
        front(std::make_shared<RecordingFront>()),
        accountCheck(fakes.services(), *ui.state, front,
                     [this](const QUrl& url) {
                       opened.push_back(url);
                       return true;
                     },
                     nullptr),
        startup(fakes.services(), *ui.state, accountCheck, [this](int code) { quitPath.quit(code); }) {
    SharedInstance<AccountCheck>::install(&accountCheck);
  }
  ~ShellWorld() { SharedInstance<AccountCheck>::uninstall(&accountCheck); }

  QuitPath::Actions actions() {
    QuitPath::Actions a;
    a.exit = [this](int code) { exits.push_back(code); };
    a.relaunch = [this] {
      record("relaunch");
      return true;
    };
    // Both run on a worker, one after the other, while the test waits for the exit.
    a.cancelConnection = [this] {
      record(fakes.engine->script.count("stopVPN") == 0 ? "cancel" : "cancel after stop");
    };
    a.restoreSystemProxy = [this] { record("restore"); };
    a.releaseInstance = [this] { record("release"); };
    return a;
  }

  // The quit path's steps so far. A restore cut short by the bound may still come after the exit.
  std::vector<std::string> steps() const {
    std::lock_guard lock(stepsMutex_);
    return steps_;
  }
  void record(std::string step) {
    std::lock_guard lock(stepsMutex_);
    steps_.push_back(std::move(step));
  }

  Router& router() { return *ui.state->router(); }
  DialogManager& dialog() { return ui.dialog; }

  FakeServices fakes;
  UiObjects ui;
  std::vector<int> exits;
  mutable std::mutex stepsMutex_;  // the steps are recorded on workers: read them through steps()
  std::vector<std::string> steps_;
  std::vector<QUrl> opened;
  QuitPath quitPath;
  std::shared_ptr<RecordingFront> front;
  AccountCheck accountCheck;
  StartupController startup;
};

}  // namespace lumora::test
