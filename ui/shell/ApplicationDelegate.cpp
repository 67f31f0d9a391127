#include "ui/shell/ApplicationDelegate.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWindow>

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Assets.h"
#include "ui/shell/QuitPath.h"

namespace lumora {

namespace {

struct LanguageChoice {
  const char* code;
  const char* title;  // shown as it stands, in its own language
};

constexpr LanguageChoice kLanguages[] = {
    {"en", "English"},
    {"zh-Hans", "简体中文"},
    {"zh-Hant", "繁體中文"},
};

}  // namespace

ApplicationDelegate::ApplicationDelegate(AppStateManager& state, QuitPath& quitPath, Hooks hooks, QObject* parent)
    : QObject(parent), state_(state), quitPath_(quitPath), hooks_(std::move(hooks)) {
  for (auto signal : {&AppStateManager::statusChanged, &AppStateManager::vpnStatusChanged,
                      &AppStateManager::currentLanguageChanged}) {
    connect(&state_, signal, this, &ApplicationDelegate::updateStatusItem);
  }
  connect(this, &ApplicationDelegate::windowVisibleChanged, this, &ApplicationDelegate::updateStatusItem);
  updateStatusItem();
}

ApplicationDelegate::~ApplicationDelegate() {
  if (window_) window_->removeEventFilter(this);
}

void ApplicationDelegate::attachWindow(QWindow* window) {
  if (window_) {
    window_->removeEventFilter(this);
    window_->disconnect(this);
  }
  window_ = window;
  if (!window) return;
  connect(window, &QWindow::activeChanged, this, &ApplicationDelegate::followWindow);
  connect(window, &QWindow::visibilityChanged, this, &ApplicationDelegate::followWindow);
  followWindow();
  window->setMinimumSize(kMainWindowSize);
  window->setMaximumSize(kMainWindowSize);
  window->resize(kMainWindowSize);
  // A window of one fixed size offers no maximise button (it would do nothing).
  window->setFlags((window->flags() & ~(Qt::WindowMaximizeButtonHint | Qt::WindowFullscreenButtonHint)) |
                   Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  window->installEventFilter(this);
  setMainWindow(window);
}

QString ApplicationDelegate::statusIconName() const {
  const bool dark = hooks_.darkPanel && hooks_.darkPanel();
  const bool connected = state_.vpnStatus() == helmsey::VPNStatus::connected;
  return QStringLiteral("ic_status_bar_") + (dark ? QStringLiteral("black") : QStringLiteral("white")) +
         (connected ? QStringLiteral("_connected") : QStringLiteral("_disconnect"));
}

void ApplicationDelegate::updateStatusItem() {
  if (!state_.status()) {
    // The icon setting was switched off from a page, never from this menu: nothing of the menu
    // is being delivered while it goes.
    tray_.reset();
    menu_.reset();
    return;
  }
  if (!menu_) buildMenu();
  refreshMenu();
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    // The icon has no action of its own: a click opens its menu, as a right click does.
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger && menu_) menu_->popup(QCursor::pos());
    });
    tray_->setContextMenu(menu_.get());
  }
  const QIcon& icon = iconNamed(statusIconName());
  if (tray_->icon().cacheKey() != icon.cacheKey()) tray_->setIcon(icon);
  tray_->setToolTip(state_.appTitle());
  if (!hooks_.trayAvailable || hooks_.trayAvailable()) tray_->show();
}

const QIcon& ApplicationDelegate::iconNamed(const QString& name) {
  auto found = icons_.find(name);
  if (found == icons_.end()) found = icons_.insert(name, QIcon(QLatin1Char(':') + Assets::image(name).path()));
  return *found;
}

QIcon ApplicationDelegate::statusIcon() const { return tray_ ? tray_->icon() : QIcon(); }

void ApplicationDelegate::buildMenu() {
  menu_ = std::make_unique<QMenu>();
  visibilityAction_ = menu_->addAction(QString());
  visibilityAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
  connect(visibilityAction_, &QAction::triggered, this, &ApplicationDelegate::toggleWindow);

  connectionAction_ = menu_->addAction(QString());
  connect(connectionAction_, &QAction::triggered, this, &ApplicationDelegate::toggleConnect);

  updateAction_ = nullptr;
  if (!isAppStoreBuild()) {
    updateAction_ = menu_->addAction(QString());
    connect(updateAction_, &QAction::triggered, this, &ApplicationDelegate::checkUpdate);
  }

  languageMenu_ = menu_->addMenu(QString());
  languageMenu_->menuAction()->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
  auto* group = new QActionGroup(languageMenu_);
  group->setExclusive(true);
  for (const auto& choice : kLanguages) {
    QAction* item = languageMenu_->addAction(QString::fromUtf8(choice.title));
    item->setCheckable(true);
    item->setActionGroup(group);
    item->setData(QString::fromLatin1(choice.code));
    connect(item, &QAction::triggered, this, [this, code = QString::fromLatin1(choice.code)] { setLanguage(code); });
  }

  // The desktop has no application menu: "about" sits here and in the window's context menu.
  aboutAction_ = menu_->addAction(QString());
  connect(aboutAction_, &QAction::triggered, this, [this] {
    showWindow();
    if (hooks_.showAbout) hooks_.showAbout();
  });

  menu_->addSeparator();
  quitAction_ = menu_->addAction(QString());
  quitAction_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  connect(quitAction_, &QAction::triggered, this, &ApplicationDelegate::quit);
}

void ApplicationDelegate::refreshMenu() {
  visibilityAction_->setText(windowVisible_ ? qtTrId("hide") : qtTrId("show"));
  const bool connected = state_.vpnStatus() == helmsey::VPNStatus::connected;
  connectionAction_->setText(connected ? qtTrId("disconnect") : qtTrId("connect"));
  if (updateAction_) updateAction_->setText(qtTrId("Check For Updates"));
  languageMenu_->setTitle(qtTrId("Language"));
  for (QAction* item : languageMenu_->actions()) {
    item->setChecked(state_.currentLanguage() == item->data().toString());
  }
  aboutAction_->setText(qtTrId("about"));
  quitAction_->setText(qtTrId("quit"));
}

void ApplicationDelegate::toggleWindow() {
  if (windowVisible_) {
    hideWindow();
  } else {
    showWindow();
  }
}

void ApplicationDelegate::showWindow() {
  if (window_) {
    window_->showNormal();
    window_->raise();
    window_->requestActivate();
  }
  setWindowVisible(true);
}

void ApplicationDelegate::hideWindow() {
  if (window_) {
    const bool trayUp = tray_ && (!hooks_.trayAvailable || hooks_.trayAvailable());
    if (trayUp) {
      window_->hide();
    } else {
      // Without a tray icon a hidden window could not be brought back: minimise it instead.
      window_->showMinimized();
    }
  }
  setWindowVisible(false);
}

void ApplicationDelegate::followWindow() {
  const bool inFront = window_ && window_->isVisible() && window_->visibility() != QWindow::Minimized &&
                       window_->isActive();
  state_.setBackground(!inFront);
}

void ApplicationDelegate::setWindowVisible(bool visible) {
  if (windowVisible_ == visible) return;
  windowVisible_ = visible;
  emit windowVisibleChanged();
}

void ApplicationDelegate::toggleConnect() {
  if (hooks_.toggleConnection) hooks_.toggleConnection();
}

void ApplicationDelegate::setLanguage(const QString& code) { state_.setCurrentLanguage(code); }

void ApplicationDelegate::checkUpdate() {
  if (hooks_.checkUpdate) hooks_.checkUpdate(true);
}

void ApplicationDelegate::quit() { quitPath_.quit(0); }

bool ApplicationDelegate::handleClose() {
  const QString policy = state_.closeEvent();
  if (policy == QLatin1String("exit")) {
    // The window stays until the quit path has stopped the VPN and ends the program.
    quitPath_.quit(0);
    return false;
  }
  // "hide", "hideWindowAndDockIcon" and anything else: the program keeps running.
  hideWindow();
  return false;
}

bool ApplicationDelegate::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Close && !quitPath_.isLeaving()) {
    if (!handleClose()) {
      event->ignore();
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace lumora
