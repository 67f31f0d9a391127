#pragma once

// The real program against the loopback service: a service double reached through real host
// discovery, the log double, the development account's answers, and the composition root with
// its real window. Items of the window are found by objectName.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QUrl>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/Application.h"
#include "services/network/DNS.h"
#include "tests/support/ServiceTestBed.h"
#include "tests/support/TestHome.h"
#include "tools/devservice/DevService.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"

namespace lumora::test {

// Runs the GUI thread's events until `done` holds or `ms` have passed. The bound is for what comes
// when the program works, in a second or two on an idle machine: a busy one many times slower
// still sees it well inside.
inline bool waitFor(const std::function<bool()>& done, int ms = 30000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

class AppWorld {
 public:
  // Items made by loaders and repeaters are the visual children of their hosts, not always their
  // object children: the search walks both.
  static QQuickItem* find(QQuickItem* root, const QString& name) {
    if (!root) return nullptr;
    for (QQuickItem* child : root->childItems()) {
      if (child->objectName() == name && child->isVisible()) return child;
      if (QQuickItem* found = find(child, name)) return found;
    }
    for (QQuickItem* child : root->findChildren<QQuickItem*>(name, Qt::FindDirectChildrenOnly)) {
      if (child->isVisible()) return child;
    }
    return nullptr;
  }

  static constexpr int kServiceAddress = 2;
  static constexpr int kNodeAddress = 5;

  using NodeSetups = std::function<std::vector<tarnel::dev::DevNodeSetup>(tarnel::test::ServiceTestBed&)>;

  AppWorld() : AppWorld([](auto&) { return std::vector<tarnel::dev::DevNodeSetup>{{}}; }) {}
  // The account offers the nodes `setups` makes with this world's bed; each gets the bed's node
  // domain, a certificate of the bed's authority, and, unless it names one, the bed's node address.
  explicit AppWorld(const NodeSetups& setups) {
    api_ = bed_.startService(kServiceAddress);
    tarnel::DNS::setDeploymentForTesting({{{tarnel::test::ServiceTestBed::endpoint(*api_)}},
                                          tarnel::test::ServiceTestBed::kSiteName});
    std::vector<tarnel::dev::DevNodeSetup> nodes = setups(bed_);
    for (auto& node : nodes) {
      if (node.address == tarnel::dev::DevAddresses::kNode) node.address = bed_.address(kNodeAddress);
      node.domain = tarnel::test::ServiceTestBed::kNodeDomain;
      // The tunnel's and the port probe's names of host "h1", the one the account opens.
      node.certificate = bed_.ca().issue("node-" + node.id, {"h1-d." + node.domain, "h1-a." + node.domain},
                                         {node.address});
      // A node starts on the first connect and keeps its configuration and log in a folder of its own.
      if (node.directory.empty()) node.directory = nodeDir_.path() / ("node-" + node.id);
    }
    script_ = std::make_unique<tarnel::dev::DevAccountScript>(*api_, tarnel::dev::DevAccount{}, std::move(nodes));
  }

  ~AppWorld() {
    program_.reset();
    bed_.settle();
  }

  // `programDirectory`: where the program counts as installed; empty: where it runs from.
  bool start(const QString& programDirectory = {}) {
    tarnel_app::LaunchHooks hooks;
    hooks.programDirectory = programDirectory;
    hooks.windowReady = [this](QQuickWindow* window) { window_ = window; };
    // Nothing leaves for the desktop's browser or file handlers: it is recorded instead.
    hooks.openWithDesktop = [this](const QUrl& url) {
      desktopOpened_.push_back(url);
      return desktopOpens_;
    };
    program_ = std::make_unique<tarnel_app::Application>(hooks);
    return program_->start() && window_ && waitFor([this] { return window_->isExposed(); });
  }

  QQuickWindow* window() const { return window_; }
  // What the program handed to the desktop's opener, in order.
  const std::vector<QUrl>& desktopOpened() const { return desktopOpened_; }
  // false: the desktop has nothing that opens what it is handed (no browser, no mail program).
  void setDesktopOpens(bool opens) { desktopOpens_ = opens; }
  AppStateManager& state() const { return *SharedInstance<AppStateManager>::get(); }
  tarnel::test::ServiceDouble& service() { return *api_; }
  const tarnel::test::ServiceTestBed& bed() const { return bed_; }
  tarnel::test::ServiceTestBed& bed() { return bed_; }
  const tarnel::dev::DevAccountScript& script() const { return *script_; }
  const tarnel::dev::DevAccount& account() const { return script_->account(); }

  // The visible item of that name, if any.
  QQuickItem* item(const QString& name) const { return window_ ? find(window_->contentItem(), name) : nullptr; }
  bool click(const QString& name) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window_, Qt::LeftButton, {}, centre.toPoint());
    return true;
  }
  // A fresh start to the home page: the sign-in page, the account's e-mail and password, the
  // home page shown, and its disclaimer closed (every showing has it half a second in until the
  // user ticks it off, which these worlds never do).
  bool signInToHome() {
    const auto fail = [](const char* step) {
      std::fprintf(stderr, "sign-in to the home page: %s\n", step);
      return false;
    };
    // The sign-in page first signs in as a guest by itself; the form is the user's once that
    // has ended.
    if (!waitFor([this] {
          return state().router()->rootName() == "login" && item("accountField") &&
                 service().count("POST", "lite/users") >= 1 && !item("loadingCard");
        })) {
      return fail("no sign-in page");
    }
    if (!type("accountField", QString::fromStdString(account().email)) ||
        !type("passwordField", QString::fromStdString(account().password)) || !click("submitButton")) {
      return fail("the form did not take the account");
    }
    if (!waitFor([this] { return state().router()->rootName() == "main" && item("connectArea"); })) {
      return fail("no home page");
    }
    if (!waitFor([this] { return item("disclaimerView") != nullptr; })) return fail("no disclaimer");
    // A click that lands before the dialog takes input is given again.
    if (!waitFor([this] { return click("dialogClose") && waitFor([this] { return !item("disclaimerView"); }, 1000); })) {
      return fail("the disclaimer did not close");
    }
    return true;
  }
  QString text(const QString& name) const {
    QQuickItem* target = item(name);
    return target ? target->property("text").toString() : QString();
  }

  bool type(const QString& name, const QString& text) const {
    QQuickItem* target = item(name);
    if (!target) return false;
    target->forceActiveFocus();
    target->setProperty("text", QString());
    for (const QChar c : text) QTest::keyClick(window_, c.toLatin1());
    return target->property("text").toString() == text;
  }

 private:
  tarnel::test::ServiceTestBed bed_;
  tarnel::test::TempDir nodeDir_;
  std::unique_ptr<tarnel::test::ServiceDouble> api_;
  std::unique_ptr<tarnel::dev::DevAccountScript> script_;
  std::unique_ptr<tarnel_app::Application> program_;
  QQuickWindow* window_ = nullptr;
  std::vector<QUrl> desktopOpened_;
  bool desktopOpens_ = true;
};

}  // namespace lumora::test
