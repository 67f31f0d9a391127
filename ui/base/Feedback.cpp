#include "ui/base/Feedback.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

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
  // Queued with the target as context: Qt drops the call when the target is deleted first.
  QMetaObject::invokeMethod(target, std::move(work), Qt::QueuedConnection);
}

void showToast(const QString& message, ToastType type) {
  auto* toast = SharedInstance<ToastManager>::get();
  onGuiThread(toast, [toast, message, type] { toast->show(message, type); });
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
  auto* loading = SharedInstance<LoadingManager>::get();
  onGuiThread(loading, [loading, ticket] { loading->hide(ticket); });
}

LoadingTicket showLoading(const QString& message) {
  auto* loading = SharedInstance<LoadingManager>::get();
  if (!loading) return {};
  const auto ticket = LoadingManager::newTicket();
  onGuiThread(loading, [loading, ticket, message] { loading->show(ticket, message); });
  return LoadingTicket(ticket);
}

void hideLoading(LoadingTicket& ticket) { ticket.hide(); }

void showDialog(const QString& message, const QString& title, bool showClose, std::vector<DialogButton> buttons,
                std::function<void()> action) {
  if (buttons.empty()) {
    buttons.push_back({QString::fromUtf8(QT_TRID_NOOP("Confirm")), [action = std::move(action)] { confirmDialog(action); }, true});
  }
  auto* dialog = SharedInstance<DialogManager>::get();
  onGuiThread(dialog, [dialog, message, title, showClose, buttons = std::move(buttons)]() mutable {
    dialog->show(std::move(buttons), title, showClose, {}, {}, DialogContent::fromText(localized(message)));
  });
}

void confirmDialog(const std::function<void()>& action) {
  if (action) action();
  if (auto* dialog = SharedInstance<DialogManager>::get()) dialog->setIsShow(false);
}

}  // namespace lumora
