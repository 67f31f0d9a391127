#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <optional>
#include <string>

#include "services/model/DeviceModels.h"

namespace lumora {

class AccountContext;
class DeviceManager;

// The device list page: one row per bound device of the shared device model, with the header's
// figures, renaming (one row at a time) and unbinding. The same page serves the sign-in flow
// (refused for the device limit): then it fetches nothing, shows no header and offers no rename.
// GUI thread only.
class DeviceListModel : public QAbstractListModel {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(int count READ count NOTIFY countChanged)
  Q_PROPERTY(bool isLogin READ isLogin NOTIFY isLoginChanged)
  Q_PROPERTY(int maxCount READ maxCount NOTIFY liveChanged)
  Q_PROPERTY(bool canUpgrade READ canUpgrade NOTIFY liveChanged)
  Q_PROPERTY(QString editId READ editId NOTIFY editIdChanged)

 public:
  enum Role {
    DeviceIdRole = Qt::UserRole + 1,
    PlatformRole,   // "macOS (app_version:5)"-style line, localised
    IconRole,       // picture name
    ModelRole,
    NameRole,       // the description when the device has one, else its name
    DraftRole,      // the text of the rename field
    CreatedRole,
    UpdatedRole,
    CurrentRole,    // the device that runs this program
    EditingRole,
  };

  explicit DeviceListModel(QObject* parent = nullptr);
  DeviceListModel(AccountContext* context, QObject* parent);
  // A page of the sign-in flow that goes (Back instead of an unbind) ends that flow.
  ~DeviceListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  int count() const { return rowCount(); }
  bool isLogin() const;
  int maxCount() const;
  bool canUpgrade() const;
  QString editId() const;

  static QString platformName(const std::string& platform);
  static QString platformIcon(const std::string& platform);
  // A service time stamp as "yyyy-MM-dd HH:mm:ss" in UTC; any other text as it stands.
  static QString displayDate(const std::string& text);
  // One to sixteen letters (of any script, with their marks), digits, connector punctuation
  // such as "_", or hyphens; no blanks or other punctuation.
  static bool isValidName(const QString& name);

  // The page appeared: outside the sign-in flow the list is fetched again.
  Q_INVOKABLE void appear();
  Q_INVOKABLE void beginEdit(int row);
  Q_INVOKABLE void cancelEdit();
  Q_INVOKABLE void setDraft(int row, const QString& text);
  Q_INVOKABLE void confirmRename(int row);
  Q_INVOKABLE void unbind(int row);
  // "more devices": the upgrade page takes this page's place.
  Q_INVOKABLE void openUpgrade();

 signals:
  void countChanged();
  void isLoginChanged();
  void liveChanged();
  void editIdChanged();

 private:
  void reset();
  const tarnel::Devices* deviceAt(int row) const;
  QString shownName(const tarnel::Devices& device) const;

  QPointer<AccountContext> context_;
  QPointer<DeviceManager> manager_;
  std::string thisDeviceId_;
  // The sign-in flow (refused for the device limit) whose list this page showed.
  std::optional<std::uint64_t> signInFlow_;
  // Names given on this page, shown until the next fetch brings the service's record.
  QHash<QString, QString> renamed_;
  QHash<QString, QString> drafts_;
};

}  // namespace lumora
