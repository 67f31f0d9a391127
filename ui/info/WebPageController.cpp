#include "ui/info/WebPageController.h"

#include <QRegularExpression>

#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/info/LinkPolicy.h"

namespace lumora {

namespace {
const QRegularExpression& inPage() {
  static const QRegularExpression pattern(QStringLiteral(">T[a-zA-Z0-9]{33}"));
  return pattern;
}
const QRegularExpression& whole() {
  static const QRegularExpression pattern(QStringLiteral("^T[a-zA-Z0-9]{33}$"));
  return pattern;
}
InfoContext sharedContext() {
  const InfoContext* shared = SharedInstance<InfoContext>::get();
  return shared ? *shared : InfoContext{};
}
}  // namespace

WebPageController::WebPageController(QObject* parent) : WebPageController(sharedContext(), parent) {}

WebPageController::WebPageController(InfoContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)) {}

bool WebPageController::trusts(const QWebEngineCertificateError& error) const {
  if (!context_.trustsCertificate || !error.isOverridable()) return false;
  return context_.trustsCertificate(error.certificateChain(), error.url().host());
}

void WebPageController::setActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  if (!active_) stopGuard();
  emit activeChanged();
}

bool WebPageController::accepts(const QUrl& url, bool linkClick) {
  const LinkDecision decision = decideLink(url, linkClick);
  switch (decision.action) {
    case LinkAction::allow:
      return true;
    case LinkAction::refuse:
      return false;
    case LinkAction::openInBrowser:
      open(decision.target);
      return false;
    case LinkAction::openWhenConnected:
      if (context_.services.logQueue)
        context_.services.logQueue->event(tarnel::EventType::NAVI, decision.eventValue.toStdString());
      if (!context_.state) return false;
      switch (context_.state->vpnStatus()) {
        case helmsey::VPNStatus::connected:
          open(decision.target);
          break;
        case helmsey::VPNStatus::disconnected:
          // The link's own attempt: the address opens when that attempt is up, even if this page
          // has gone by then, and never for a connection the user makes later.
          disconnect(pendingOpen_);
          if (context_.connect) {
            context_.connect([opener = context_.openUrl, target = decision.target] {
              if (isBrowserAddress(target)) openOnDesktop(opener, target);
            });
          }
          break;
        case helmsey::VPNStatus::connecting:
          // The attempt under way: opened once it is up, dropped when it fails; a newer link
          // replaces a waiting one.
          disconnect(pendingOpen_);
          pendingOpen_ = connect(context_.state, &AppStateManager::vpnStatusChanged, this,
                                 [this, target = decision.target] {
                                   const auto status = context_.state->vpnStatus();
                                   if (status == helmsey::VPNStatus::connected) {
                                     disconnect(pendingOpen_);
                                     open(target);
                                   } else if (status != helmsey::VPNStatus::connecting) {
                                     disconnect(pendingOpen_);
                                   }
                                 });
          break;
        default:
          break;
      }
      return false;
  }
  return true;
}

void WebPageController::open(const QUrl& target) {
  // Belt and braces: whatever reaches the opener is a web address.
  if (!isBrowserAddress(target)) return;
  openOnDesktop(context_.openUrl, target);
}

void WebPageController::pageLoaded() { stopGuard(); }

void WebPageController::scanPage(const QVariant& markup) {
  if (markup.typeId() != QMetaType::QString) return;
  const QString address = pageAddress(markup.toString());
  if (address.isEmpty() || !isPaymentAddress(address)) return;
  if (isPaymentAddress(context_.readClipboard())) context_.emptyClipboard();
  address_ = address;
  if (!active_ || watch_) return;
  watch_ = context_.onClipboardChange(this, [this] { checkClipboard(); });
  if (watch_) emit guardingChanged();
}

void WebPageController::checkClipboard() {
  const QString text = context_.readClipboard();
  if (text.isEmpty()) return;
  if (!isPaymentAddress(text) || text == address_ || !context_.windowExists()) return;
  stopGuard();  // warns once per page load
  if (context_.openClipboardWarning) context_.openClipboardWarning();
}

void WebPageController::stopGuard() {
  if (!watch_) return;
  disconnect(watch_);
  watch_ = {};
  emit guardingChanged();
}

QString WebPageController::pageAddress(const QString& markup) {
  const QRegularExpressionMatch match = inPage().match(markup);
  return match.hasMatch() ? match.captured(0).mid(1) : QString();
}

bool WebPageController::isPaymentAddress(const QString& text) { return whole().match(text).hasMatch(); }

}  // namespace lumora
