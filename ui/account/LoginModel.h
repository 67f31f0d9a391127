#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

#include "ui/account/Countdown.h"

namespace lumora {

class AccountContext;
class LoadingTicket;

// The sign-in page's state and actions: one form for signing in, registering for one or for
// several devices, and resetting a forgotten password; the suggestion list under the account
// field; the code countdown; the silent guest sign-in when the page shows. One per page: every
// page starts afresh. Service calls run in the context of the process-wide AccountContext, so
// the app-wide outcome (state, route, toast) lands even when the page has gone; only writes to
// the page itself are dropped then. GUI thread only.
class LoginModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(LoginType loginType READ loginType NOTIFY loginTypeChanged)
  // The form kind by name ("login", "register_singl", "register_multiple", "forget"), for the view.
  Q_PROPERTY(QString typeName READ typeName NOTIFY loginTypeChanged)
  Q_PROPERTY(QString account READ account WRITE setAccount NOTIFY accountChanged)
  Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
  Q_PROPERTY(QString code READ code WRITE setCode NOTIFY codeChanged)
  Q_PROPERTY(bool showHistory READ showHistory WRITE setShowHistory NOTIFY showHistoryChanged)
  Q_PROPERTY(bool accountComplete READ accountComplete NOTIFY accountCompleteChanged)
  Q_PROPERTY(bool agree READ agree WRITE setAgree NOTIFY agreeChanged)
  Q_PROPERTY(bool counting READ counting NOTIFY countdownChanged)
  Q_PROPERTY(int elapsedSeconds READ elapsedSeconds NOTIFY countdownChanged)
  Q_PROPERTY(QStringList suggestions READ suggestions NOTIFY suggestionsChanged)
  Q_PROPERTY(QString promoterPlaceholder READ promoterPlaceholder NOTIFY promoterPlaceholderChanged)

 public:
  enum LoginType { login, register_singl, register_multiple, forget };
  Q_ENUM(LoginType)

  // The fixed password of the guest account.
  static constexpr const char* kGuestPassword = "fjord";

  // QML: the installed AccountContext.
  explicit LoginModel(QObject* parent = nullptr);
  LoginModel(AccountContext* context, QObject* parent, int tickMs = 1000);
  ~LoginModel() override;

  LoginType loginType() const { return loginType_; }
  QString typeName() const;
  QString account() const { return account_; }
  void setAccount(const QString& account);
  QString password() const { return password_; }
  void setPassword(const QString& password);
  QString code() const { return code_; }
  void setCode(const QString& code);
  bool showHistory() const { return showHistory_; }
  void setShowHistory(bool show);
  bool accountComplete() const { return accountComplete_; }
  bool agree() const { return agree_; }
  void setAgree(bool agree);
  bool counting() const { return countdown_.running(); }
  int elapsedSeconds() const { return countdown_.remaining(); }
  QStringList suggestions() const;
  QString promoterPlaceholder() const;
  Countdown& countdown() { return countdown_; }

  // The "sign up"/"sign in" link: from sign-in to one-device registration, from anything else
  // back to sign-in; the code is cleared.
  Q_INVOKABLE void switchType();
  // "Retrieve Password": the reset form; the code stays.
  Q_INVOKABLE void retrievePassword();
  // The plan switch between the two registration forms; the code stays.
  Q_INVOKABLE void switchPlan();
  // The account field gained or lost focus.
  Q_INVOKABLE void accountFocusChanged();
  // Return pressed in the account field.
  Q_INVOKABLE void accountReturned();
  Q_INVOKABLE void toggleHistory() { setShowHistory(!showHistory_); }
  Q_INVOKABLE void pickSuggestion(const QString& suggestion);
  Q_INVOKABLE void toggleAgree() { setAgree(!agree_); }

  // The form's button: checks the fields in order, then signs in, registers or resets.
  Q_INVOKABLE void submit();
  // The code button of the reset form.
  Q_INVOKABLE void requestCode();
  // The page shows: signs in as guest unless an e-mail account is signed in.
  Q_INVOKABLE void appear();

  Q_INVOKABLE void openSupport();
  Q_INVOKABLE void openPrivacy();
  Q_INVOKABLE void openTerms();

  // An e-mail address the service takes: at least 6 characters, name@domain.tld, the top-level
  // domain two or more letters.
  static bool isValidEmail(const QString& account);
  // The suggestions under the account field: earlier accounts that contain what is typed (sign-in
  // and reset only), else the typed name completed with each mail domain.
  static QStringList suggestionsFor(LoginType type, const QString& account, const QStringList& history,
                                    const QStringList& suffixes);
  // The mail domain of an address: the second non-empty piece between "@"s ("" when none).
  static QString domainOf(const QString& account);

 signals:
  void loginTypeChanged();
  void accountChanged();
  void passwordChanged();
  void codeChanged();
  void showHistoryChanged();
  void accountCompleteChanged();
  void agreeChanged();
  void countdownChanged();
  void suggestionsChanged();
  void promoterPlaceholderChanged();

 private:
  void setLoginType(LoginType type);
  // A registration as the form was when it passed the checks: what is typed while it waits (for
  // the address to be confirmed, or under the overlay for the guest sign-in) is not sent.
  struct Registration {
    QString account;
    QString password;
    QString code;
    bool moreDevices = false;
  };
  void loadLists();
  void startRegistration(const Registration& registration);
  void sendRegistration(std::shared_ptr<LoadingTicket> ticket, const Registration& registration);
  void startReset();
  // Ends this page's submission (safe when the page has gone).
  std::function<void()> submissionEnded();

  QPointer<AccountContext> context_;
  LoginType loginType_ = login;
  QString account_;
  QString password_;
  QString code_;
  bool showHistory_ = false;
  bool accountComplete_ = false;
  bool agree_ = true;
  // A sign-in, registration or reset of this page is under way.
  bool submitting_ = false;
  Countdown countdown_;
  QStringList history_;
  QStringList suffixes_;
};

}  // namespace lumora
