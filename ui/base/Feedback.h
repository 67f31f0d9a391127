#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

#include "ui/base/DialogManager.h"
#include "ui/base/LoadingManager.h"
#include "ui/base/ToastManager.h"

namespace lumora {

// The feedback every page gives: a toast, the loading overlay and the dialog. Callable from any
// thread: off the GUI thread the work is posted to it and the caller goes on at once, so a worker
// never waits for a GUI thread that may itself be waiting for that worker. On the GUI thread the
// work is done before the call returns.

// The text of a localisation key in the current language; the key itself when it has none.
QString localized(const QString& key);

void showToast(const QString& message, ToastType type);

// Held while a task waits; hiding is idempotent and also happens when the ticket goes, so every
// path out of the task uncovers the window.
class LoadingTicket {
 public:
  LoadingTicket() = default;
  explicit LoadingTicket(LoadingManager::Ticket ticket) : ticket_(ticket) {}
  LoadingTicket(const LoadingTicket&) = delete;
  LoadingTicket& operator=(const LoadingTicket&) = delete;
  LoadingTicket(LoadingTicket&& other) noexcept : ticket_(other.ticket_) { other.ticket_ = 0; }
  LoadingTicket& operator=(LoadingTicket&& other) noexcept;
  ~LoadingTicket() { hide(); }

  void hide();
  bool held() const { return ticket_ != 0; }

 private:
  LoadingManager::Ticket ticket_ = 0;
};

[[nodiscard]] LoadingTicket showLoading(const QString& message);
void hideLoading(LoadingTicket& ticket);

// A text dialog of `message` (a localisation key, or a text shown as it stands). With no buttons
// it gets one blue "Confirm" that runs `action` and then hides the dialog.
void showDialog(const QString& message, const QString& title, bool showClose, std::vector<DialogButton> buttons,
                std::function<void()> action);
// Runs the action, then hides the dialog.
void confirmDialog(const std::function<void()>& action);

// Hands `address` to the desktop through `open` (its opener: the default browser, the mail
// program, the handler of the address's scheme); false when nothing took it. The desktop then only
// warns on its console, so the window says so: an error toast naming the address, in words that
// fit what was to open it (a web browser, a mail program, or any application).
bool openOnDesktop(const std::function<bool(const QUrl&)>& open, const QUrl& address);

// Runs `work` on the thread of `target` (the GUI thread): at once when called there, else
// queued for it (never waited for). Nothing happens without a target.
void onGuiThread(QObject* target, std::function<void()> work);

}  // namespace lumora
