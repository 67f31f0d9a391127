#include "ui/base/LoadingManager.h"

#include <algorithm>
#include <atomic>

#include "ui/base/SharedInstance.h"

namespace lumora {

LoadingManager::LoadingManager(QObject* parent) : QObject(parent) {}

LoadingManager* LoadingManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<LoadingManager>::forQml(qml, js);
}

LoadingManager::Ticket LoadingManager::newTicket() {
  static std::atomic<Ticket> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

void LoadingManager::show(Ticket ticket, const QString& message) {
  if (hiddenEarly_.erase(ticket) > 0) return;
  const bool wasShowing = isShowing();
  held_.push_back({ticket, message});
  setMessage(message);
  if (!wasShowing) emit isShowingChanged();
}

double LoadingManager::show(const QString& message) {
  const Ticket ticket = newTicket();
  show(ticket, message);
  return static_cast<double>(ticket);
}

void LoadingManager::hide(Ticket ticket) {
  const auto it = std::find_if(held_.begin(), held_.end(), [ticket](const Held& h) { return h.ticket == ticket; });
  if (it == held_.end()) {
    hiddenEarly_.insert(ticket);
    return;
  }
  held_.erase(it);
  // The label stays as it was when the overlay goes; otherwise it is the latest waiting task's.
  if (held_.empty()) {
    emit isShowingChanged();
  } else {
    setMessage(held_.back().message);
  }
}

void LoadingManager::setMessage(const QString& message) {
  if (message == message_) return;
  message_ = message;
  emit messageChanged();
}

}  // namespace lumora
