#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include "ui/account/Countdown.h"

namespace lumora {

class AccountContext;

// The e-mail verification page: a code is mailed to the signed-in account's address, the user
// types it, and a confirmed address refreshes the account and returns to the root page. One
// per page; the countdown goes with its page. GUI thread only.
class VerifyModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString email READ email NOTIFY emailChanged)
  Q_PROPERTY(QString code READ code WRITE setCode NOTIFY codeChanged)
  Q_PROPERTY(bool counting READ counting NOTIFY countdownChanged)
  Q_PROPERTY(int elapsedSeconds READ elapsedSeconds NOTIFY countdownChanged)

 public:
  explicit VerifyModel(QObject* parent = nullptr);
  VerifyModel(AccountContext* context, QObject* parent, int tickMs = 1000);

  // The signed-in account's address, as the app state holds it.
  QString email() const;
  QString code() const { return code_; }
  void setCode(const QString& code);
  bool counting() const { return countdown_.running(); }
  int elapsedSeconds() const { return countdown_.remaining(); }
  Countdown& countdown() { return countdown_; }

  Q_INVOKABLE void requestCode();
  Q_INVOKABLE void confirm();

 signals:
  void emailChanged();
  void codeChanged();
  void countdownChanged();

 private:
  QPointer<AccountContext> context_;
  QString code_;
  Countdown countdown_;
};

}  // namespace lumora
