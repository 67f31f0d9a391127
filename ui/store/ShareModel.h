#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/store/StoreContext.h"

namespace lumora {

// The invitation page's state: the user's invitation code and the invitation link built from the
// code the service library holds, copying that link, and the rewards and rules windows. With no
// code there is no link to show or copy: a link without a code invites nobody. GUI thread only;
// the service calls run on workers.
class ShareModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString code READ code NOTIFY codeChanged)
  Q_PROPERTY(QString link READ link NOTIFY codeChanged)

 public:
  explicit ShareModel(QObject* parent = nullptr);
  ShareModel(StoreContext context, QObject* parent);

  QString code() const { return code_; }
  QString link() const { return link_; }

  // Each showing of the page: fetches the code and publishes the login to the whole interface.
  Q_INVOKABLE void refresh();
  // "Share Now": the link of the code held at that moment onto the clipboard.
  Q_INVOKABLE void copyLink();
  Q_INVOKABLE void openRewards();
  Q_INVOKABLE void openRules();

 signals:
  void codeChanged();

 private:
  struct Invitation {
    tarnel::Login login;
    std::string link;
  };
  static Invitation invitation(const Services& services);
  // Whether the answer of fetch `ticket` is newer than the one shown; marks it shown.
  bool newest(int ticket);
  void apply(const Invitation& invitation);
  void openWindow(ModalWindowType type, const QString& title, std::string (LinkService::*address)());

  StoreContext context_;
  QString code_;
  QString link_;
  // Fetches answer out of order; an older answer never replaces a newer one.
  int issued_ = 0;
  int shown_ = 0;
};

}  // namespace lumora
