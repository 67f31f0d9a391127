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
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  if (!window) return;
  window->setMinimumSize(kMainWindowSize);
  window->setMaximumSize(kMainWindowSize);
  window->resize(kMainWindowSize);
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
    tray_.reset();
    menu_.reset();
    return;
  }
  buildMenu();
  if (!tray_) {
    tray_ = std::make_unique<QSystemTrayIcon>();
    // The icon has no action of its own: a click opens its menu, as a right click does.
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      if (reason == QSystemTrayIcon::Trigger && menu_) menu_->popup(QCursor::pos());
    });
  }
  tray_->setIcon(QIcon(QLatin1Char(':') + Assets::image(statusIconName()).path()));
  tray_->setToolTip(state_.appTitle());
  tray_->setContextMenu(menu_.get());
  if (!hooks_.trayAvailable || hooks_.trayAvailable()) tray_->show();
}

void ApplicationDelegate::buildMenu() {
  auto menu = std::make_unique<QMenu>();
  QAction* visibility = menu->addAction(windowVisible_ ? qtTrId("hide") : qtTrId("show"));
  visibility->setShortcut(QKeySequence(QStringLiteral("Ctrl+V")));
  connect(visibility, &QAction::triggered, this, &ApplicationDelegate::toggleWindow);

  const bool connected = state_.vpnStatus() == helmsey::VPNStatus::connected;
  QAction* connection = menu->addAction(connected ? qtTrId("disconnect") : qtTrId("connect"));
  connect(connection, &QAction::triggered, this, &ApplicationDelegate::toggleConnect);

  if (!isAppStoreBuild()) {
    QAction* update = menu->addAction(qtTrId("Check For Updates"));
    connect(update, &QAction::triggered, this, &ApplicationDelegate::checkUpdate);
  }

  QMenu* languages = menu->addMenu(qtTrId("Language"));
  languages->menuAction()->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
  for (const auto& choice : kLanguages) {
    QAction* item = languages->addAction(QString::fromUtf8(choice.title));
    item->setCheckable(true);
    item->setChecked(state_.currentLanguage() == QLatin1String(choice.code));
    item->setData(QString::fromLatin1(choice.code));
    connect(item, &QAction::triggered, this, [this, code = QString::fromLatin1(choice.code)] { setLanguage(code); });
  }

  // The desktop has no application menu: "about" sits here and in the window's context menu.
  QAction* about = menu->addAction(qtTrId("about"));
  connect(about, &QAction::triggered, this, [this] {
    showWindow();
    if (hooks_.showAbout) hooks_.showAbout();
  });

  menu->addSeparator();
  QAction* leave = menu->addAction(qtTrId("quit"));
  leave->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  connect(leave, &QAction::triggered, this, &ApplicationDelegate::quit);

  if (tray_) tray_->setContextMenu(menu.get());
  menu_ = std::move(menu);
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
