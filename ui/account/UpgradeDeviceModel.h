#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>

#include "services/model/DeviceModels.h"

namespace lumora {

class AccountContext;

// The device upgrade page: the account picks a higher device limit from the service's offers,
// sees what it does to the remaining membership (a preview from the service), is warned that it
// cannot be undone, and upgrades. GUI thread only.
class UpgradeDeviceModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString email READ email CONSTANT)
  Q_PROPERTY(int presentLimit READ presentLimit CONSTANT)
  Q_PROPERTY(QVariantList choices READ choices CONSTANT)
  Q_PROPERTY(int selectedCount READ selectedCount WRITE select NOTIFY selectedCountChanged)
  Q_PROPERTY(QString days READ days NOTIFY infoChanged)
  Q_PROPERTY(QString daysLave READ daysLave NOTIFY infoChanged)

 public:
  explicit UpgradeDeviceModel(QObject* parent = nullptr);
  UpgradeDeviceModel(AccountContext* context, QObject* parent);

  QString email() const;
  int presentLimit() const;
  QVariantList choices() const;
  int selectedCount() const { return static_cast<int>(selectedCount_); }
  QString days() const { return QString::fromStdString(info_.days); }
  QString daysLave() const { return QString::fromStdString(info_.days_lave); }
  bool upgrading() const { return upgrading_; }

  // The page appeared: the smallest offer (the present limit when there is none) is chosen and
  // previewed.
  Q_INVOKABLE void appear();
  // A choice of the picker: previewed at once.
  void select(int count);
  // "Confirm": the warning first; its "Confirm" upgrades.
  Q_INVOKABLE void confirm();
  void upgrade();

 signals:
  void selectedCountChanged();
  void infoChanged();

 private:
  void loadPreview();

  QPointer<AccountContext> context_;
  tarnel::UpgradeInfo info_;
  std::int64_t selectedCount_ = 0;
  std::uint64_t previewTicket_ = 0;
  bool upgrading_ = false;
};

}  // namespace lumora
