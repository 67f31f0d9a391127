#pragma once

#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/base/services/Services.h"

namespace lumora {

class AppStateManager;
class ConnectFront;

// The account status check that start-up, the connect switch and other pages run, the sign-in
// call with its page switch, the official-website link, the remaining membership text and the
// ready-made actions of one-button dialogs. Service calls run on workers; their results are
// applied on the GUI thread. GUI thread only.
class AccountCheck : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  using Completion = std::function<void(ServiceError)>;
  // Opens an address with the desktop (the default browser); false when it could not.
  using Opener = std::function<bool(const QUrl&)>;

  AccountCheck(Services services, AppStateManager& state, std::shared_ptr<ConnectFront> front, Opener opener,
               QObject* parent);
  static AccountCheck* create(QQmlEngine* qml, QJSEngine* js);

  // Checks the account with the service; `completion` hears the outcome on the GUI thread after
  // the state has been updated.
  //  - success: the state takes the new status and sign-in values;
  //  - the account or device is no longer valid (3305, 3306, 404): back to the sign-in page, the
  //    connection stopped, the "unbound tips" dialog;
  //  - a transient failure (network, a server error page, an answer that did not decode): nothing
  //    changes, so a passing outage never signs the user out;
  //  - any other refusal: the service's message, whose "Confirm" returns to the sign-in page.
  // An outcome for an account that is no longer the signed-in one (the user signed in with
  // another meanwhile) changes nothing; `completion` hears it all the same.
  void checkLive(Completion completion = {});
  Q_INVOKABLE void checkLiveNow() { checkLive(); }

  // Signs in; on success the state takes the sign-in and the root page becomes the home page
  // (the sign-in page for a guest). `completion` hears the outcome on the GUI thread.
  void login(const QString& email, const QString& password, std::int64_t force, const QString& code,
             Completion completion);

  // Fetches a token for the signed-in user and opens the official site with it.
  Q_INVOKABLE void openOfficialWebsite();

  // Remaining membership: "<d>day <h>hour" from one day on, else "<h>hour <m>minute <s>second".
  // An expired membership reads as no time left (never negative).
  Q_INVOKABLE QString vipRemainingTime() const;
  static QString remainingTimeText(std::int64_t seconds);

  // Ready-made dialog-button actions.
  Q_INVOKABLE void dismissDialog();
  Q_INVOKABLE void visitOfficialSiteAndBack();
  Q_INVOKABLE void toggleConnectionAndDismiss();
  Q_INVOKABLE void returnToLoginAndDismiss();

  // True for failures that say nothing about the account: the network, a server error page, an
  // answer that did not decode.
  static bool isTransient(const tarnel::APIErrorInfo& error);
  // True for the answers that mean this account or device is no longer valid here.
  static bool isAccountGone(const tarnel::APIErrorInfo& error);

 private:
  struct CheckOutcome {
    std::string userId;
    ServiceError error;
  };
  void applyLiveOutcome(const ServiceError& error);

  Services services_;
  AppStateManager& state_;
  std::shared_ptr<ConnectFront> front_;
  Opener opener_;
};

}  // namespace lumora
