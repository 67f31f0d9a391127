#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/account/Countdown.h"

namespace lumora {

class AccountContext;

// Passwords are 6 to 16 characters (counted as characters, not bytes) wherever a page checks them.
bool passwordLengthOk(const QString& password);

// The change-password page: the current password and the new one twice, checked in a fixed
// order (the first failure is the one shown), then changed on the service. GUI thread only.
class ChangePasswordModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString oldPassword MEMBER oldPassword_ NOTIFY fieldsChanged)
  Q_PROPERTY(QString password MEMBER password_ NOTIFY fieldsChanged)
  Q_PROPERTY(QString confirmPassword MEMBER confirmPassword_ NOTIFY fieldsChanged)

 public:
  explicit ChangePasswordModel(QObject* parent = nullptr);
  ChangePasswordModel(AccountContext* context, QObject* parent);

  void setFields(const QString& oldPassword, const QString& password, const QString& confirmPassword);
  // The first failed check's key; empty when all pass.
  QString check() const;
  Q_INVOKABLE void confirm();

 signals:
  void fieldsChanged();

 private:
  QPointer<AccountContext> context_;
  QString oldPassword_;
  QString password_;
  QString confirmPassword_;
  bool sending_ = false;
};

// The account-deletion page: a warning, an agreement tick, the password, and a confirm button
// that works only once the ten-second countdown from the page's appearance has run out. A
// deleted account stops the connection and leaves no sign-in on this device. GUI thread only.
class DeleteAccountModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(bool agree MEMBER agree_ NOTIFY agreeChanged)
  Q_PROPERTY(QString password MEMBER password_ NOTIFY passwordChanged)
  Q_PROPERTY(int elapsedSeconds READ elapsedSeconds NOTIFY countdownChanged)
  Q_PROPERTY(bool armed READ armed NOTIFY countdownChanged)

 public:
  static constexpr int kWaitSeconds = 10;

  explicit DeleteAccountModel(QObject* parent = nullptr);
  DeleteAccountModel(AccountContext* context, QObject* parent, int tickMs = 1000);

  int elapsedSeconds() const { return started_ ? countdown_.remaining() : kWaitSeconds; }
  bool armed() const { return elapsedSeconds() < 1; }
  void setAgree(bool on);
  void setPassword(const QString& password);
  Countdown& countdown() { return countdown_; }
  bool deleting() const { return deleting_; }

  // The page appeared: the countdown starts.
  Q_INVOKABLE void appear();
  // The button or Return in the field.
  Q_INVOKABLE void confirm();

 signals:
  void agreeChanged();
  void passwordChanged();
  void countdownChanged();

 private:
  QPointer<AccountContext> context_;
  bool agree_ = false;
  QString password_;
  Countdown countdown_;
  bool started_ = false;
  bool deleting_ = false;
};

// The feedback page: free text sent to the log service with the account's address.
class FeedbackModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString feedback MEMBER feedback_ NOTIFY feedbackChanged)

 public:
  explicit FeedbackModel(QObject* parent = nullptr);
  FeedbackModel(AccountContext* context, QObject* parent);

  void setFeedback(const QString& text);
  // The text as the log service takes it: quotes, braces and backslashes swapped for harmless
  // look-alikes, everything else unchanged.
  static QString cleaned(QString text);
  Q_INVOKABLE void submit();

 signals:
  void feedbackChanged();

 private:
  QPointer<AccountContext> context_;
  QString feedback_;
};

}  // namespace lumora
