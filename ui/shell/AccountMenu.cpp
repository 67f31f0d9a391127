#include "ui/shell/AccountMenu.h"

#include <QVariantMap>

#include "services/log/EventType.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

// TARNEL_HELP_CENTRE_URL and TARNEL_APP_STORE_URL come from the build (ui/shell/CMakeLists.txt).

namespace lumora {

namespace {

QString key(const char* id) { return QString::fromUtf8(id); }

QVariantMap row(const QString& rowKey, const char* icon, const QString& name, const QString& route) {
  return {{QStringLiteral("key"), rowKey},
          {QStringLiteral("icon"), QString::fromUtf8(icon)},
          {QStringLiteral("name"), name},
          {QStringLiteral("route"), route}};
}

}  // namespace

AccountMenu::AccountMenu(Services services, AppStateManager& state, Hooks hooks, QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), hooks_(std::move(hooks)) {
  connect(&state_, &AppStateManager::loginInfoChanged, this, &AccountMenu::rowsChanged);
  connect(&state_, &AppStateManager::liveChanged, this, &AccountMenu::rowsChanged);
}

AccountMenu* AccountMenu::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<AccountMenu>::forQml(qml, js); }

QString AccountMenu::helpCentreUrl() { return QStringLiteral(TARNEL_HELP_CENTRE_URL); }
QString AccountMenu::appStoreUrl() { return QStringLiteral(TARNEL_APP_STORE_URL); }

QString AccountMenu::officialEmail() const { return QString::fromStdString(services_.links->officialEmail()); }

bool AccountMenu::multipleDevices() const { return state_.loginInfo().user.isMultipleDevices(); }

QVariantList AccountMenu::rows() const {
  const bool appStore = isAppStoreBuild();
  QVariantList list;
  if (!multipleDevices() || appStore) {
    list.push_back(appStore ? row(QStringLiteral("share"), "ic_mine_free_use", key(QT_TRID_NOOP("share")), QString())
                            : row(QStringLiteral("share"), "ic_mine_free_use", key(QT_TRID_NOOP("free to use")),
                                  QStringLiteral("share")));
  }
  if (!appStore) {
    list.push_back(row(QStringLiteral("mobile"), "ic_mine_phone", key(QT_TRID_NOOP("mobile apps")), QStringLiteral("mobile")));
  }
  if (!appStore || state_.live().link.show) {
    list.push_back(row(QStringLiteral("discount"), "ic_mine_card", key(QT_TRID_NOOP("voucher & discount")),
                       QStringLiteral("discount")));
  }
  list.push_back(row(QStringLiteral("settings"), "ic_mine_set", key(QT_TRID_NOOP("Settings")), QStringLiteral("settings")));
  list.push_back(row(QStringLiteral("help"), "ic_mine_help", key(QT_TRID_NOOP("help center")), QString()));
  list.push_back(row(QStringLiteral("email"), "ic_mine_email_feedback",
                     localized(key(QT_TRID_NOOP("CSR email: %@"))).arg(officialEmail()), QString()));
  list.push_back(row(QStringLiteral("about"), "ic_mine_about", key(QT_TRID_NOOP("about")), QStringLiteral("about")));
  // The library's account decides: the app state may still show an account that just left.
  if (!services_.account->loginInfo().user.isGuest()) {
    list.push_back(row(QStringLiteral("signOut"), "ic_mine_logout", key(QT_TRID_NOOP("sign out")), QString()));
  }
  return list;
}

QStringList AccountMenu::rowKeys() const {
  QStringList keys;
  for (const auto& entry : rows()) keys.push_back(entry.toMap().value(QStringLiteral("key")).toString());
  return keys;
}

void AccountMenu::activate(const QString& rowKey) {
  auto& log = *services_.logQueue;
  if (rowKey == QLatin1String("share")) {
    if (!isAppStoreBuild()) return;  // the row's page opens instead
    if (hooks_.copyText) hooks_.copyText(appStoreUrl());
    showToast(key(QT_TRID_NOOP("Copy Success")), ToastType::success);
  } else if (rowKey == QLatin1String("mobile")) {
    log.event(tarnel::EventType::MENU_MOBILE);
  } else if (rowKey == QLatin1String("discount")) {
    log.event(tarnel::EventType::MENU_COUPON_CENTER);
  } else if (rowKey == QLatin1String("help")) {
    openOnDesktop(hooks_.openUrl, QUrl(helpCentreUrl()));
  } else if (rowKey == QLatin1String("email")) {
    showEmailDialog();
  } else if (rowKey == QLatin1String("about")) {
    log.event(tarnel::EventType::MENU_ABOUTUS);
  } else if (rowKey == QLatin1String("signOut")) {
    signOut();
  }
}

void AccountMenu::showEmailDialog() {
  auto* dialog = SharedInstance<DialogManager>::get();
  if (!dialog) return;
  const QString email = officialEmail();
  Hooks hooks = hooks_;
  std::vector<DialogButton> buttons{
      DialogButton{key(QT_TRID_NOOP("copy to clipboard")),
                   [hooks, email] {
                     if (hooks.copyText) hooks.copyText(email);
                     if (auto* d = SharedInstance<DialogManager>::get()) d->setIsShow(false);
                     showToast(key(QT_TRID_NOOP("Copy Success")), ToastType::success);
                   },
                   true},
      DialogButton{key(QT_TRID_NOOP("open email app")),
                   [hooks, email] {
                     if (auto* d = SharedInstance<DialogManager>::get()) d->setIsShow(false);
                     // An address that makes no mail link (blanks, say) opens nothing.
                     const QUrl url(QStringLiteral("mailto:") + email, QUrl::StrictMode);
                     if (url.isValid()) openOnDesktop(hooks.openUrl, url);
                   },
                   false},
  };
  dialog->show(std::move(buttons), localized(key(QT_TRID_NOOP("CSR email: %@"))).arg(email), true, {}, {},
               DialogContent::fromText(QString()));
}

void AccountMenu::signOut() {
  auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
  auto account = services_.account;
  auto devices = services_.devices;
  Workers::run(
      this,
      [account, devices] {
        (void)account->logout(account->userId(), devices->thisDeviceId());
        // Whatever the service said, this device keeps no trace of the account: the next
        // sign-in page starts from nobody (and signs in a fresh guest), never from the old user.
        account->setLoginInfo(tarnel::Login());
      },
      [this, ticket] {
        services_.logQueue->event(tarnel::EventType::SETTING_LOG_OUT);
        state_.setLoginInfo(tarnel::Login());
        ticket->hide();
        state_.router()->backToRoot();
        state_.router()->setRoot(Route::login);
      });
}

}  // namespace lumora
