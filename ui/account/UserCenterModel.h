#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstdint>

namespace lumora {

class AccountContext;

// The account card: the signed-in address, whether it is verified, the membership with its
// expiry, and the ways to the verification page and to the shop. Reads the app state only; it
// never calls the service itself. GUI thread only.
class UserCenterModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString email READ email NOTIFY changed)
  Q_PROPERTY(bool verified READ verified NOTIFY changed)
  Q_PROPERTY(bool isVip READ isVip NOTIFY changed)
  Q_PROPERTY(QString expiryText READ expiryText NOTIFY changed)
  Q_PROPERTY(QString expiryDate READ expiryDate NOTIFY changed)

 public:
  explicit UserCenterModel(QObject* parent = nullptr);
  UserCenterModel(AccountContext* context, QObject* parent);

  QString email() const;
  bool verified() const;
  // A membership that has not ended yet; an ended one reads as none (no tag, no date).
  bool isVip() const;
  // The end of the membership, local time: "yyyy-MM-dd HH:mm" and "yyyy-MM-dd".
  QString expiryText() const;
  QString expiryDate() const;
  // The time left, read afresh each time the pop-over opens.
  Q_INVOKABLE QString remainingTime() const;

  // The mark beside an unverified address: counts the visit, then opens the verification page.
  Q_INVOKABLE void openVerify();
  // "Subscribe": the in-app shop in store builds, else the payment page.
  Q_INVOKABLE void subscribe();

  static bool isActiveMembership(std::int64_t expiredVip, std::int64_t nowSeconds);

 signals:
  void changed();

 private:
  std::int64_t expiredVip() const;

  QPointer<AccountContext> context_;
};

}  // namespace lumora
