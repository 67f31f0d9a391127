#include "ui/store/ShareModel.h"

#include <memory>

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/Workers.h"

namespace lumora {

ShareModel::ShareModel(QObject* parent) : ShareModel(sharedStoreContext(), parent) {}

ShareModel::ShareModel(StoreContext context, QObject* parent) : QObject(parent), context_(std::move(context)) {
  if (context_.state) code_ = QString::fromStdString(context_.state->loginInfo().user.code);
  // The link is the library's: read off this thread, shown once known.
  if (!context_.services.account || !context_.services.links) return;
  Workers::run(
      this, [services = context_.services] { return invitation(services); },
      [this, ticket = ++issued_](const Invitation& found) {
        if (!newest(ticket)) return;
        link_ = found.login.user.code.empty() ? QString() : QString::fromStdString(found.link);
        emit codeChanged();
      });
}

bool ShareModel::newest(int ticket) {
  if (ticket <= shown_) return false;
  shown_ = ticket;
  return true;
}

ShareModel::Invitation ShareModel::invitation(const Services& services) {
  // The login first: a code that arrives in between then gives a link newer than the code,
  // never a link of an older code than the one checked.
  Invitation found{services.account->loginInfo(), {}};
  found.link = services.links->share();
  return found;
}

void ShareModel::apply(const Invitation& found) {
  if (context_.state) context_.state->setLoginInfo(found.login);
  code_ = QString::fromStdString(found.login.user.code);
  link_ = code_.isEmpty() ? QString() : QString::fromStdString(found.link);
  emit codeChanged();
}

void ShareModel::refresh() {
  if (!context_.services.account || !context_.services.links) return;
  auto loading = std::make_shared<LoadingTicket>(showLoading(QString()));
  Workers::run(
      this,
      [services = context_.services] {
        services.account->getShareInfo();
        return invitation(services);
      },
      [this, loading, ticket = ++issued_](const Invitation& found) {
        loading->hide();
        if (newest(ticket)) apply(found);
      });
}

void ShareModel::copyLink() {
  if (!context_.services.account || !context_.services.links) return;
  Workers::run(
      this, [services = context_.services] { return invitation(services); },
      [this](const Invitation& found) {
        if (found.login.user.code.empty() || found.link.empty()) return;
        context_.copy(QString::fromStdString(found.link));
        showToast(QString::fromUtf8(QT_TRID_NOOP("The link has been copied successfully, share it with your friends now!")),
                  ToastType::success);
      });
}

void ShareModel::openRewards() {
  openWindow(ModalWindowType::shareRewards, QString::fromUtf8(QT_TRID_NOOP("My Rewards")), &LinkService::shareAchievement);
}

void ShareModel::openRules() { openWindow(ModalWindowType::shareHelp, QString::fromUtf8(QT_TRID_NOOP("Rules")), &LinkService::shareHelp); }

void ShareModel::openWindow(ModalWindowType type, const QString& title, std::string (LinkService::*address)()) {
  auto links = context_.services.links;
  if (!links) return;
  Workers::run(
      this, [links, address] { return ((*links).*address)(); },
      [this, type, title](const std::string& url) {
        if (!context_.windowExists() || !context_.openWindow) return;
        context_.openWindow(type, title, QUrl(QString::fromStdString(url)), kMainWindowSize);
      });
}

}  // namespace lumora
