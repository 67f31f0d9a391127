#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace lumora {

class AccountContext;

// The settings page: the inviter row (with its binding dialog), the connection summary and the
// close-button choices. The switch and the drop-down write the app state through its own
// setters. GUI thread only.
class SettingsModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString invitee READ invitee NOTIFY inviteeChanged)
  Q_PROPERTY(bool canBind READ canBind NOTIFY inviteeChanged)
  Q_PROPERTY(QString connectionSummary READ connectionSummary NOTIFY connectionSummaryChanged)
  Q_PROPERTY(QStringList closeChoices READ closeChoices CONSTANT)
  Q_PROPERTY(QString invitation READ invitation WRITE setInvitation NOTIFY invitationChanged)

 public:
  explicit SettingsModel(QObject* parent = nullptr);
  SettingsModel(AccountContext* context, QObject* parent);

  // The inviter's code, or the localised "Unbound" while there is none.
  QString invitee() const;
  // No inviter yet: a tap on the row opens the binding dialog.
  bool canBind() const;
  // "smart|global / protocol / tunnel|normal", localised.
  QString connectionSummary() const;
  static QStringList closeChoices();
  QString invitation() const { return invitation_; }
  void setInvitation(const QString& text);

  // The dialog's "Confirm": checks the code, then binds it.
  Q_INVOKABLE void bindInvitation();
  Q_INVOKABLE void closeDialog();

 signals:
  void inviteeChanged();
  void connectionSummaryChanged();
  void invitationChanged();

 private:
  void bindKnowingOwnCode();

  QPointer<AccountContext> context_;
  QString invitation_;
};

}  // namespace lumora
