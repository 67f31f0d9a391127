#include "ui/home/HomeScreen.h"

#include <QDateTime>

#include "services/log/EventType.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/home/ConnectManager.h"

namespace lumora {

// TARNEL_BROWSER_CHECK_PAGE comes from the build (ui/home/CMakeLists.txt).
const char* const HomeScreen::kBrowserCheckPage = TARNEL_BROWSER_CHECK_PAGE;

using helmsey::VPNStatus;

namespace {

QString key(const char* id) { return QString::fromUtf8(id); }

void hideDialog() {
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

bool isWebAddress(const QUrl& url) {
  return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
         !url.host().isEmpty();
}

}  // namespace

HomeScreen::HomeScreen(Services services, AppStateManager& state, ConnectManager& front, Hooks hooks, QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), front_(front), hooks_(std::move(hooks)) {
  statusTimer_.setInterval(hooks_.statusInterval);
  disclaimerTimer_.setSingleShot(true);
  disclaimerTimer_.setInterval(hooks_.disclaimerDelay);
  QObject::connect(&disclaimerTimer_, &QTimer::timeout, this, &HomeScreen::disclaimerDue);
  QObject::connect(&statusTimer_, &QTimer::timeout, this, [this] {
    if (hooks_.checkLive) hooks_.checkLive();
  });
}

HomeScreen* HomeScreen::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<HomeScreen>::forQml(qml, js); }

void HomeScreen::appear() {
  // One check every interval whatever the number of showings; a timer per showing would pile up
  // account checks for the life of the process.
  if (!statusTimer_.isActive()) statusTimer_.start();
  loadNotices();
  checkDisclaimer();
}

void HomeScreen::disappear() { statusTimer_.stop(); }

void HomeScreen::loadNotices() {
  auto notices = services_.notices;
  Workers::run(
      this, [notices] { return notices->notices(); },
      [this](const std::optional<tarnel::Notices>& answer) {
        if (!answer) return;
        const auto read = state_.noticesReadIds();
        std::vector<std::int64_t> all;
        for (const auto& notice : answer->notices) {
          all.push_back(notice.id);
          if (std::find(read.begin(), read.end(), notice.id) == read.end()) state_.setHasNotices(true);
        }
        state_.setAllNotices(std::move(all));
      });
}

void HomeScreen::switchRouteMode() {
  if (state_.vpnStatus() != VPNStatus::connected) {
    state_.setSmartRoute(!state_.smartRoute());
    return;
  }
  if (!state_.showRouteTips()) {
    auto confirm = [this] {
      hideDialog();  // first, so a second press cannot switch twice
      confirmRouteChange();
    };
    showDialog(key(QT_TRID_NOOP("setting change tips")), key(QT_TRID_NOOP("tips_title")), true,
               {DialogButton{key(QT_TRID_NOOP("Confirm")), confirm, true}}, confirm);
    return;
  }
  state_.setShowRouteTips(true);
  connectedSwitch();
}

void HomeScreen::confirmRouteChange() {
  state_.setShowRouteTips(true);
  connectedSwitch();
}

void HomeScreen::connectedSwitch() {
  state_.setSmartRoute(!state_.smartRoute());
  front_.reconnect();
}

bool HomeScreen::hasTag() const { return state_.currentTag().has_value(); }

QString HomeScreen::tagName() const {
  const auto tag = state_.currentTag();
  return tag ? QString::fromStdString(tag->tag) : QString();
}

QString HomeScreen::tagIcon() const {
  const auto tag = state_.currentTag();
  if (!tag) return {};
  const QUrl url(QString::fromStdString(tag->icon_new));
  return isWebAddress(url) ? url.toString() : QString();
}

bool HomeScreen::promotionShown() const { return state_.live().link.show; }

QString HomeScreen::promotionText() const {
  const tarnel::Live live = state_.live();
  if (!live.link.show) return {};
  const auto found = live.link.text.find(services_.status->apiLanguage());
  return found == live.link.text.end() ? QString() : QString::fromStdString(found->second);
}

void HomeScreen::openPromotionLink() {
  const tarnel::Live live = state_.live();
  const std::string given = live.link.link.value_or("");
  const QUrl url = given.empty() ? QUrl(QStringLiteral("https://") + QString::fromStdString(services_.links->officialDomain()))
                                 : QUrl(QString::fromStdString(given));
  // The address comes from the server: only a web address goes to the desktop, never a
  // file, a script or another program's scheme.
  if (!isWebAddress(url)) return;
  openOnDesktop(hooks_.openUrl, url);
}

QString HomeScreen::membershipText() const {
  if (state_.loginInfo().expired_vip < 1) return qtTrId("not vip");
  return qtTrId("vip_time").arg(hooks_.vipRemainingTime ? hooks_.vipRemainingTime() : QString());
}

void HomeScreen::openMenu() { state_.router()->push(Route::menu); }
void HomeScreen::openNotify() { state_.router()->push(Route::notify); }

void HomeScreen::openTag() {
  services_.logQueue->event(tarnel::EventType::HOME_TAG);
  state_.router()->push(Route::tag);
}

void HomeScreen::openLocation() {
  services_.logQueue->event(tarnel::EventType::HOME_LOCATION);
  state_.router()->push(Route::location);
}

void HomeScreen::openCustomerService() {
  const QUrl url(QString::fromStdString(services_.links->custom()));
  if (isWebAddress(url)) openOnDesktop(hooks_.openUrl, url);
}

int HomeScreen::socksPort() const { return services_.engine->socksPort(); }
int HomeScreen::httpPort() const { return services_.engine->httpPort(); }
int HomeScreen::switchPort() const { return services_.engine->switchPort(); }
QString HomeScreen::switchAddress() const { return QString::fromStdString(services_.engine->switchListenAddress()); }

void HomeScreen::openSwitchHelp() {
  const QUrl url(QStringLiteral("https://") + QString::fromStdString(services_.links->officialDomain()) +
                 QStringLiteral("/faq/?lang=") + QString::fromStdString(services_.status->apiLanguage()) +
                 QStringLiteral("&tag=nintendo-switch"));
  if (isWebAddress(url)) openOnDesktop(hooks_.openUrl, url);
}

void HomeScreen::needConnectedDialog() {
  auto action = [this] {
    hideDialog();
    front_.toggleConnection(false, {});
  };
  showDialog(key(QT_TRID_NOOP("need connected")), key(QT_TRID_NOOP("tips_title")), true,
             {DialogButton{key(QT_TRID_NOOP("Confirm")), action, true}}, action);
}

void HomeScreen::openTelegramProxy() {
  if (state_.vpnStatus() != VPNStatus::connected) {
    needConnectedDialog();
    return;
  }
  if (state_.tunnelMode()) {
    showDialog(key(QT_TRID_NOOP("only support normal")), key(QT_TRID_NOOP("tips_title")), true,
               {DialogButton{key(QT_TRID_NOOP("Confirm")), [] { hideDialog(); }, true}}, {});
    return;
  }
  const QUrl url(QStringLiteral("tg://socks?server=127.0.0.1&port=%1&user=&pass=").arg(socksPort()));
  openOnDesktop(hooks_.openUrl, url);
}

void HomeScreen::openBrowserCheck() {
  if (state_.vpnStatus() == VPNStatus::disconnected) {
    needConnectedDialog();
    return;
  }
  openOnDesktop(hooks_.openUrl, QUrl(QString::fromUtf8(kBrowserCheckPage)));
}

std::int64_t HomeScreen::dayComponent(std::int64_t thenMs, std::int64_t nowMs) {
  const QDateTime from = QDateTime::fromSecsSinceEpoch(thenMs / 1000);
  const QDateTime to = QDateTime::fromSecsSinceEpoch(nowMs / 1000);
  // Calendar days in local time, less one when the time of day has not come round yet.
  std::int64_t days = from.daysTo(to);
  if (days > 0 && from.addDays(days) > to) --days;
  if (days < 0 && from.addDays(days) < to) ++days;
  return days;
}

void HomeScreen::checkDisclaimer() {
  const std::int64_t now = services_.status->serverTimeMilliseconds();
  std::int64_t then = 0;
  if (const auto stored = services_.settings->value(tarnel::StoreKeys::DISCLAIMER_TIME)) {
    if (const auto number = stored->integer()) then = *number;
  }
  if (dayComponent(then, now) < 7) return;
  // A showing that follows another within the delay opens one dialog, not two.
  if (!disclaimerTimer_.isActive()) disclaimerTimer_.start();
}

void HomeScreen::setDisclaimerIgnored(bool ignore) {
  const std::int64_t value = ignore ? services_.status->serverTimeMilliseconds() : 0;
  services_.settings->setValue(tarnel::StoreKeys::DISCLAIMER_TIME, tarnel::StoreValue(value));
}

}  // namespace lumora
