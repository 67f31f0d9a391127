#include "ui/home/ConnectManager.h"

#include <QString>

#include <utility>

#include "services/log/EventType.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/GuiQueue.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"
#include "ui/home/AnimationController.h"

namespace lumora {

using helmsey::VPNStatus;
using namespace std::chrono_literals;

namespace {

// The attempt was abandoned on purpose: nothing to tell the user.
constexpr std::int64_t kAbandoned = 10001;
constexpr auto kToggleGuard = 1000ms;

QString key(const char* id) { return QString::fromUtf8(id); }

void hideDialog() {
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

// A one-button tips dialog whose button hides it before acting, so a second press on the same
// dialog cannot act twice.
void tipsDialog(const char* message, const char* button, std::function<void()> act) {
  auto action = [act = std::move(act)] {
    hideDialog();
    if (act) act();
  };
  showDialog(key(message), key(QT_TRID_NOOP("tips_title")), true, {DialogButton{key(button), action, true}}, action);
}

}  // namespace

ConnectManager::ConnectManager(Services services, AppStateManager& state, AnimationController& animation, Hooks hooks,
                               QObject* parent)
    : QObject(parent), services_(std::move(services)), state_(state), animation_(animation), hooks_(std::move(hooks)) {
  if (!hooks_.clock) hooks_.clock = &std::chrono::steady_clock::now;
  listening_ = state_.switchListen();
  ConnectionCallbacks callbacks;
  callbacks.onStatus = [this](VPNStatus status) { post([this, status] { onStatus(status); }); };
  callbacks.onStep = [this](tarnel::ConnectStep step) { post([this, step] { onStep(step); }); };
  callbacks.onFailed = [this](ServiceError error) { onFailed(error); };
  services_.connection->setCallbacks(std::move(callbacks));
}

ConnectManager::~ConnectManager() { services_.connection->setCallbacks({}); }

void ConnectManager::post(std::function<void()> work) {
  // The guard was made on the GUI thread and is read there only.
  GuiQueue::post([guard = self_, work = std::move(work)] {
    if (guard) work();
  });
}

ConnectManager* ConnectManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<ConnectManager>::forQml(qml, js);
}

void ConnectManager::toggleConnection(bool recordEvent, std::function<void()> onConnected) {
  toggle(recordEvent, std::move(onConnected), true);
}

void ConnectManager::toggleConnection(bool recordEvent) {
  // The user asked for the new location: a click shortly before must not swallow the connect
  // that completes the switch-over, which would leave the connection silently down.
  toggle(recordEvent, {}, !switchingOver_.exchange(false));
}

void ConnectManager::toggle(bool recordEvent, std::function<void()> onConnected, bool guarded) {
  // Every call restarts the guard, taken or not, so a burst of clicks acts once.
  const auto now = hooks_.clock();
  const bool tooSoon = lastClick_ && now - *lastClick_ < kToggleGuard;
  lastClick_ = now;
  if (tooSoon && guarded) return;

  switch (state_.vpnStatus()) {
    case VPNStatus::disconnected:
      if (recordEvent) {
        const auto country = services_.nodes->currentCountry();
        const auto tag = services_.nodes->currentTag();
        services_.logQueue->event(tarnel::EventType::HOME_CONNECT, country ? country->country : "auto",
                                    {{"tag", tag ? tag->tag : ""}});
      }
      // Kept only once the attempt is under way: starting it drops what an earlier one held.
      if (startConnect()) onConnected_ = std::move(onConnected);
      break;
    case VPNStatus::connecting:
    case VPNStatus::connected:
      onConnected_ = nullptr;
      disconnectAsync();
      break;
    default:
      onConnected_ = nullptr;
      break;
  }
}

void ConnectManager::connect() { startConnect(); }

bool ConnectManager::startConnect() {
  // A new attempt, or none: whatever an earlier attempt was to run once up is not this one's.
  onConnected_ = nullptr;
  const tarnel::Login login = state_.loginInfo();
  if (login.max_age <= 0) {
    tipsDialog(QT_TRID_NOOP("vip expired tips"), QT_TRID_NOOP("Subscribe"), [this] { openPayment(); });
    return false;
  }
  if (state_.live().other.protocal_priority.empty() && hooks_.checkLive) {
    // The attempt needs the priorities the check brings, so it waits for the check to end.
    auto ticket = std::make_shared<LoadingTicket>(showLoading(QString()));
    hooks_.checkLive([this, ticket] {
      ticket->hide();
      afterStatusCheck();
    });
    return true;
  }
  afterStatusCheck();
  return true;
}

void ConnectManager::afterStatusCheck() {
  const tarnel::Login login = state_.loginInfo();
  const tarnel::Live live = state_.live();
  if (!login.other || login.other->app_domain_version != live.other.app_domain_version) {
    auto status = services_.status;
    Workers::run(this, [status] { status->updateDomain(); }, [this] { startAttempt(); });
    return;
  }
  startAttempt();
}

ConnectionSettings ConnectManager::settings() const {
  ConnectionSettings s;
  s.smartRoute = state_.smartRoute();
  s.tunnel = state_.tunnelMode();
  s.autoReconnect = state_.reconnect();
  s.checkConnection = state_.checkConnection();
  s.enableSystemProxy = !state_.systemProxy();  // the stored flag says "leave the system proxy alone"
  s.enableCmdProxy = state_.commadnProxy();
  s.dnsServer = state_.dns().toStdString();
  s.strategy = state_.dnsStrategy().toStdString();
  return s;
}

void ConnectManager::startAttempt() {
  animation_.start();
  // Read on the GUI thread; the worker sees only this copy.
  const ConnectionSettings chosen = settings();
  auto connection = services_.connection;
  Workers::run([connection, chosen] {
    connection->configure(chosen);
    connection->openConnection();
  });
}

void ConnectManager::stopListening() {
  if (!listening_.exchange(false)) return;
  post([this] { state_.setSwitchListen(false); });
  services_.connection->stopSwitchListen();
}

void ConnectManager::disconnect() {
  switchingOver_ = true;
  animation_.close();
  stopListening();
  services_.connection->disconnect();
}

void ConnectManager::disconnectAsync() {
  animation_.close();
  if (state_.switchListen()) {
    listening_ = false;
    state_.setSwitchListen(false);
    auto connection = services_.connection;
    Workers::run([connection] {
      connection->stopSwitchListen();
      connection->disconnect();
    });
    return;
  }
  auto connection = services_.connection;
  Workers::run([connection] { connection->disconnect(); });
}

void ConnectManager::reconnect() {
  if (state_.switchListen()) needSwitch_ = true;
  animation_.close();
  const bool listening = listening_.exchange(false);
  if (listening) state_.setSwitchListen(false);
  auto connection = services_.connection;
  Workers::run(
      this,
      [connection, listening] {
        if (listening) connection->stopSwitchListen();
        connection->disconnect();
      },
      // The user asked for the new mode: a click shortly before must not swallow the connect
      // that completes it, which would leave the connection silently down.
      [this] { toggle(false, {}, false); });
}

void ConnectManager::toggleSwitchListen() {
  if (state_.switchListen()) {
    listening_ = false;
    state_.setSwitchListen(false);
    auto connection = services_.connection;
    Workers::run([connection] { connection->stopSwitchListen(); });
    return;
  }
  if (state_.tunnelMode()) {
    tipsDialog(QT_TRID_NOOP("only support normal"), QT_TRID_NOOP("Confirm"),
               [this] { state_.router()->push(Route::settings); });
    return;
  }
  if (state_.vpnStatus() != VPNStatus::connected) {
    tipsDialog(QT_TRID_NOOP("need connected"), QT_TRID_NOOP("Confirm"), [this] {
      needSwitch_ = true;
      connect();
    });
    return;
  }
  auto connection = services_.connection;
  Workers::run(
      this, [connection] { return connection->startSwitchListen(); },
      [this](bool started) {
        if (started) {
          needSwitch_ = false;
          listening_ = true;
          state_.setSwitchListen(true);
          return;
        }
        tipsDialog(QT_TRID_NOOP("switch failed"), QT_TRID_NOOP("Confirm"), {});
      });
}

void ConnectManager::openPayment() {
  if (hooks_.isAppStore) {
    state_.router()->push(Route::shop);
    return;
  }
  if (!hooks_.openPaymentWindow) return;
  auto links = services_.links;
  Workers::run(
      this, [links] { return links->shop(); },
      [this](const std::string& url) { hooks_.openPaymentWindow(QUrl(QString::fromStdString(url))); });
}

void ConnectManager::onStatus(VPNStatus status) {
  // The attempt ended without coming up (a stop, an engine that went): its action goes with it.
  if (status == VPNStatus::disconnected || status == VPNStatus::userCanceled) onConnected_ = nullptr;
  state_.setVpnStatus(status);
  if (status == VPNStatus::connected && needSwitch_) toggleSwitchListen();
}

void ConnectManager::onStep(tarnel::ConnectStep step) {
  if (step == tarnel::ConnectStep::connect_success) {
    // Once, for this attempt: an automatic reconnect or a later connect does not run it again.
    if (auto action = std::exchange(onConnected_, nullptr)) action();
  }
  showToast(QString::fromUtf8(tarnel::rawValue(step)), ToastType::info);
}

void ConnectManager::onFailed(const ServiceError& error) {
  // Reports of an attempt that no longer runs are stale.
  if (!services_.nodes->isConnecting()) return;
  auto connection = services_.connection;
  Workers::run([connection] { connection->disconnect(); });
  animation_.close();
  const bool silent = !error || error->errCode == kAbandoned;
  const QString message = error ? QString::fromStdString(error->errMsg) : QString();
  post([this, silent, message] {
    onConnected_ = nullptr;  // the attempt failed: nothing of it opens later
    state_.setVpnStatus(VPNStatus::disconnected);
    if (silent) return;
    showDialog(message, key(QT_TRID_NOOP("tips_title")), true,
               {DialogButton{key(QT_TRID_NOOP("Confirm")), [] { hideDialog(); }, true}}, {});
  });
}

}  // namespace lumora
