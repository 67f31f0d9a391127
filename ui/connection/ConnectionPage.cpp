#include "ui/connection/ConnectionPage.h"

#include <QPointer>
#include <QVariantMap>

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Workers.h"

namespace lumora {

namespace {

ConnectionContext installedContext() {
  const ConnectionContext* context = SharedInstance<ConnectionContext>::get();
  return context ? *context : ConnectionContext{};
}

// A notice whose text says the program quits once it is closed: it quits however it is closed,
// with "Confirm", its close button or Escape.
void showQuittingNotice(const QString& message, const std::function<void(int)>& quitProgram) {
  auto* dialog = SharedInstance<DialogManager>::get();
  if (!dialog) return;
  const auto quit = [quitProgram] {
    if (quitProgram) quitProgram(0);
  };
  dialog->show({DialogButton{QStringLiteral("Confirm"), quit, true}}, QStringLiteral("tips_title"), true, {}, quit,
               DialogContent::fromText(localized(message)));
}

}  // namespace

ConnectionPage::ConnectionPage(QObject* parent) : ConnectionPage(installedContext(), parent) {}

ConnectionPage::ConnectionPage(ConnectionContext context, QObject* parent)
    : QObject(parent),
      context_(std::move(context)),
      systemExtension_(new SystemExtensionRequest(context_.authoriser, this)) {
  if (AppStateManager* state = context_.state) {
    smartRoute_ = state->smartRoute();
    tunnelMode_ = state->tunnelMode();
    connectProtocol_ = state->connectProtocol();
  }
  protocols_.push_back(tarnel::VPNProtocol::AUTO);
  if (context_.services.status) {
    for (const tarnel::VPNProtocol protocol : context_.services.status->availableProtocols()) {
      // A code the service sends that names no protocol arrives as automatic: it is the row
      // already there, not a second one; a protocol offered twice is one row too.
      if (std::find(protocols_.begin(), protocols_.end(), protocol) == protocols_.end()) protocols_.push_back(protocol);
    }
  }
}

QString ConnectionPage::connectProtocol() const {
  return QString::fromUtf8(tarnel::rawValue(connectProtocol_));
}

QVariantList ConnectionPage::protocolList() const {
  QVariantList list;
  for (const tarnel::VPNProtocol protocol : protocols_) {
    const QString name = QString::fromUtf8(tarnel::Name(protocol));
    list.push_back(QVariantMap{{QStringLiteral("raw"), QString::fromUtf8(tarnel::rawValue(protocol))},
                               {QStringLiteral("name"), name},
                               {QStringLiteral("icon"), QStringLiteral("ic_connect_") + name}});
  }
  return list;
}

void ConnectionPage::appear() {
  if (!context_.state) return;
  QPointer<ConnectionPage> self(this);
  context_.state->router()->setWillBack([self] { return self ? self->leaveCheck() : true; });
}

void ConnectionPage::chooseSmartRoute(bool smart) {
  if (smartRoute_ == smart) return;
  smartRoute_ = smart;
  emit smartRouteChanged();
}

void ConnectionPage::chooseProtocol(const QString& raw) {
  const auto protocol = tarnel::vpnProtocolFromRaw(raw.toStdString());
  if (!protocol || *protocol == connectProtocol_) return;
  connectProtocol_ = *protocol;
  emit connectProtocolChanged();
}

void ConnectionPage::chooseNormalMode() { setTunnelMode(false); }

void ConnectionPage::setTunnelMode(bool on) {
  if (tunnelMode_ == on) return;
  tunnelMode_ = on;
  emit tunnelModeChanged();
}

void ConnectionPage::chooseTunnelMode() {
  if (isAppStoreBuild()) {
    setTunnelMode(true);
    return;
  }
  SystemExtensionRequest& request = *systemExtension_;
  // The request is this page's child: its answers never outlive the page.
  request.onError = [this](const ActivationError& error) {
    if (error.code == ActivationError::unsupportedLocation) {
      showQuittingNotice(QStringLiteral("drag and drop app to applications"), context_.quit);
      return;
    }
    if (error.code == ActivationError::serviceNotRunning) {
      // The package is there; its service only needs starting, and the program stays open.
      // Its one "Confirm" button only closes it.
      showDialog(QStringLiteral("tunnel service not running"), QStringLiteral("tips_title"), true, {}, [] {});
      return;
    }
    showToast(error.description, ToastType::error);
  };
  request.onResult = [this](int result) {
    if (result == static_cast<int>(ActivationResult::completed)) {
      setTunnelMode(true);
      return;
    }
    if (result == static_cast<int>(ActivationResult::willCompleteAfterReboot)) {
      showQuittingNotice(QStringLiteral("system_extension_reboot"), context_.quit);
      return;
    }
    showToast(localized(QStringLiteral("system_extension_faild")).arg(result), ToastType::error);
  };
  request.onApproval = [this] {
    if (!context_.windowExists()) return;
    if (context_.openApprovalWindow) context_.openApprovalWindow();
  };
  request.activate();
}

bool ConnectionPage::changed() const {
  const AppStateManager* state = context_.state;
  if (!state) return false;
  return smartRoute_ != state->smartRoute() || tunnelMode_ != state->tunnelMode() ||
         tarnel::rawValue(connectProtocol_) != tarnel::rawValue(state->connectProtocol());
}

void ConnectionPage::allowLeaving() {
  if (context_.state) context_.state->router()->setWillBack(Router::defaultWillBack());
}

bool ConnectionPage::leaveCheck() {
  AppStateManager* state = context_.state;
  if (!state || !changed()) {
    allowLeaving();
    return true;
  }
  if (state->vpnStatus() == helmsey::VPNStatus::connected) {
    QPointer<ConnectionPage> self(this);
    showDialog(QStringLiteral("setting change tips"), QStringLiteral("tips_title"), true,
               {DialogButton{QStringLiteral("Reconnect"),
                             [self] {
                               if (self) self->reconnectNow();
                             },
                             true},
                DialogButton{QStringLiteral("Not Now"),
                             [self] {
                               if (self) self->notNow();
                             },
                             false}},
               [] {});
    return false;
  }
  apply();
  allowLeaving();
  return true;
}

void ConnectionPage::apply() {
  AppStateManager* state = context_.state;
  if (!state) return;
  state->setSmartRoute(smartRoute_);
  state->setTunnelMode(tunnelMode_);
  // The app state hands the protocol on to the node selection itself.
  state->setConnectProtocol(connectProtocol_);
}

void ConnectionPage::reconnectNow() {
  apply();
  AppStateManager* state = context_.state;
  if (!state) return;
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
  allowLeaving();
  state->router()->backToRoot();
  const std::shared_ptr<ConnectFront> front = context_.front;
  if (!front) return;
  // The page is on its way out: the restart belongs to the app state, which stays.
  const bool listening = state->switchListen();
  Workers::run(
      state,
      [front, listening] {
        if (listening) front->setNeedSwitch(true);
        front->disconnect();
      },
      [front] { front->toggleConnection(false); });
}

void ConnectionPage::notNow() {
  apply();
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
  allowLeaving();
  if (context_.state) context_.state->router()->back();
}

}  // namespace lumora
