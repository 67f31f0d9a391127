#include "ui/base/Feedback.h"

#include <QCoreApplication>
#include <QThread>

#include "ui/base/GuiQueue.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

QString localized(const QString& key) {
  if (key.isEmpty()) return key;
  const QByteArray id = key.toUtf8();
  return qtTrId(id.constData());
}

void onGuiThread(QObject* target, std::function<void()> work) {
  if (!target) return;
  if (QThread::currentThread() == target->thread()) {
    work();
    return;
  }
  GuiQueue::post(std::move(work));
}

void showToast(const QString& message, ToastType type) {
  onGuiThread(SharedInstance<ToastManager>::get(), [message, type] {
    if (auto* toast = SharedInstance<ToastManager>::get()) toast->show(message, type);
  });
}

bool openOnDesktop(const std::function<bool(const QUrl&)>& open, const QUrl& address) {
  if (open && open(address)) return true;
  const QString scheme = address.scheme().toLower();
  QString message;
  if (scheme == QLatin1String("mailto")) {
    //% "No mail app could write to %1."
    message = qtTrId("can not open mail").arg(address.path());
  } else {
    // The address as the user knows it: no query (a sign-in token, say) and no user part.
    const QString shown =
        address.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
      //% "No web browser could open %1."
      message = qtTrId("can not open link").arg(shown);
    } else {
      //% "No application could open %1."
      message = qtTrId("can not open address").arg(shown);
    }
  }
  showToast(message, ToastType::error);
  return false;
}

LoadingTicket& LoadingTicket::operator=(LoadingTicket&& other) noexcept {
  if (this != &other) {
    hide();
    ticket_ = other.ticket_;
    other.ticket_ = 0;
  }
  return *this;
}

void LoadingTicket::hide() {
  if (ticket_ == 0) return;
  const auto ticket = ticket_;
  ticket_ = 0;
  onGuiThread(SharedInstance<LoadingManager>::get(), [ticket] {
    if (auto* loading = SharedInstance<LoadingManager>::get()) loading->hide(ticket);
  });
}

LoadingTicket showLoading(const QString& message) {
  auto* loading = SharedInstance<LoadingManager>::get();
  if (!loading) return {};
  const auto ticket = LoadingManager::newTicket();
  onGuiThread(loading, [ticket, message] {
    if (auto* shown = SharedInstance<LoadingManager>::get()) shown->show(ticket, message);
  });
  return LoadingTicket(ticket);
}

void hideLoading(LoadingTicket& ticket) { ticket.hide(); }

void showDialog(const QString& message, const QString& title, bool showClose, std::vector<DialogButton> buttons,
                std::function<void()> action) {
  if (buttons.empty()) {
    buttons.push_back({QString::fromUtf8(QT_TRID_NOOP("Confirm")), [action = std::move(action)] { confirmDialog(action); }, true});
  }
  auto work = [message, title, showClose, buttons = std::move(buttons)]() mutable {
    if (auto* dialog = SharedInstance<DialogManager>::get()) {
      dialog->show(std::move(buttons), title, showClose, {}, {}, DialogContent::fromText(localized(message)));
    }
  };
  onGuiThread(SharedInstance<DialogManager>::get(), std::move(work));
}

void confirmDialog(const std::function<void()>& action) {
  if (action) action();
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

}  // namespace lumora
