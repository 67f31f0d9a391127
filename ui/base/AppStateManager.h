#pragma once

#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/VPNStatus.h"
#include "services/base/VPNProtocol.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/ConnectFront.h"
#include "ui/base/ModelTypes.h"
#include "ui/base/Router.h"
#include "ui/base/services/Services.h"

namespace lumora {

class Translations;

struct AppStateOptions {
  bool isAppStore = isAppStoreBuild();
  // The connection front that a new country or node restarts; none: nothing restarts.
  std::shared_ptr<ConnectFront> front;
  // Switched with the language; none: the texts stay as installed.
  Translations* translations = nullptr;
};

// The state of the user interface that every page observes and writes: language and title, the
// router, account values, the user's connection settings (each stored when written), the chosen
// location and protocol, the VPN status and the notice marks. Every side effect of a field sits
// in its setter, so QML bindings and C++ writes act alike. GUI thread only.
class AppStateManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QString currentLanguage READ currentLanguage WRITE setCurrentLanguage NOTIFY currentLanguageChanged)
  Q_PROPERTY(QString appTitle READ appTitle WRITE setAppTitle NOTIFY appTitleChanged)
  Q_PROPERTY(lumora::Router* router READ router CONSTANT)
  Q_PROPERTY(QVariant loginInfo READ loginInfoValue NOTIFY loginInfoChanged)
  Q_PROPERTY(bool background READ background WRITE setBackground NOTIFY backgroundChanged)
  Q_PROPERTY(bool smartRoute READ smartRoute WRITE setSmartRoute NOTIFY smartRouteChanged)
  Q_PROPERTY(bool tunnelMode READ tunnelMode WRITE setTunnelMode NOTIFY tunnelModeChanged)
  Q_PROPERTY(bool checkConnection READ checkConnection WRITE setCheckConnection NOTIFY checkConnectionChanged)
  Q_PROPERTY(QVariant live READ liveValue NOTIFY liveChanged)
  Q_PROPERTY(QVariant currentTag READ currentTagValue WRITE setCurrentTagValue NOTIFY currentTagChanged)
  Q_PROPERTY(QVariant selectedTag READ selectedTagValue WRITE setSelectedTagValue NOTIFY selectedTagChanged)
  Q_PROPERTY(QString selectedArea READ selectedArea WRITE setSelectedArea NOTIFY selectedAreaChanged)
  Q_PROPERTY(QVariant currentCountry READ currentCountryValue WRITE setCurrentCountryValue NOTIFY currentCountryChanged)
  Q_PROPERTY(QVariant currentNode READ currentNodeValue WRITE setCurrentNodeValue NOTIFY currentNodeChanged)
  Q_PROPERTY(int vpnStatus READ vpnStatusValue WRITE setVpnStatusValue NOTIFY vpnStatusChanged)
  Q_PROPERTY(bool switchListen READ switchListen WRITE setSwitchListen NOTIFY switchListenChanged)
  Q_PROPERTY(bool hasNotices READ hasNotices WRITE setHasNotices NOTIFY hasNoticesChanged)
  Q_PROPERTY(QVariantList noticesReadIds READ noticesReadIdsValue WRITE setNoticesReadIdsValue NOTIFY noticesReadIdsChanged)
  Q_PROPERTY(bool showRouteTips READ showRouteTips WRITE setShowRouteTips NOTIFY showRouteTipsChanged)
  Q_PROPERTY(QString currentState READ currentState WRITE setCurrentState NOTIFY currentStateChanged)
  Q_PROPERTY(QString connectProtocol READ connectProtocolValue WRITE setConnectProtocolValue NOTIFY connectProtocolChanged)
  Q_PROPERTY(QVariantList allNotices READ allNoticesValue WRITE setAllNoticesValue NOTIFY allNoticesChanged)
  Q_PROPERTY(bool commadnProxy READ commadnProxy WRITE setCommadnProxy NOTIFY commadnProxyChanged)
  Q_PROPERTY(bool reconnect READ reconnect WRITE setReconnect NOTIFY reconnectChanged)
  Q_PROPERTY(bool status READ status WRITE setStatus NOTIFY statusChanged)
  Q_PROPERTY(bool systemProxy READ systemProxy WRITE setSystemProxy NOTIFY systemProxyChanged)
  Q_PROPERTY(QString dns READ dns WRITE setDns NOTIFY dnsChanged)
  Q_PROPERTY(QString dnsStrategy READ dnsStrategy WRITE setDnsStrategy NOTIFY dnsStrategyChanged)
  Q_PROPERTY(QString closeEvent READ closeEvent WRITE setCloseEvent NOTIFY closeEventChanged)
  Q_PROPERTY(QString locationName READ locationName NOTIFY locationChanged)
  Q_PROPERTY(QString locationIcon READ locationIcon NOTIFY locationChanged)
  Q_PROPERTY(QString protocolName READ protocolName NOTIFY protocolNameChanged)

 public:
  // Reads the stored settings, writes each one back (a fallback included) and mirrors the
  // location and protocol choice into the node selection.
  AppStateManager(Services services, AppStateOptions options, QObject* parent);
  static AppStateManager* create(QQmlEngine* qml, QJSEngine* js);

  bool isInited() const { return isInited_; }

  QString currentLanguage() const { return currentLanguage_; }
  void setCurrentLanguage(const QString& code);
  QString appTitle() const { return appTitle_; }
  void setAppTitle(const QString& title);
  Router* router() const { return router_; }

  tarnel::Login loginInfo() const { return loginInfo_; }
  void setLoginInfo(const tarnel::Login& login);
  tarnel::Live live() const { return live_; }
  void setLive(const tarnel::Live& live);

  // True while the main window is not in front: hidden, minimised or behind another program's
  // window. The shell follows the window; before it has one, true.
  bool background() const { return background_; }
  void setBackground(bool on);
  bool smartRoute() const { return smartRoute_; }
  void setSmartRoute(bool on);
  bool tunnelMode() const { return tunnelMode_; }
  void setTunnelMode(bool on);
  bool checkConnection() const { return checkConnection_; }
  void setCheckConnection(bool on);

  std::optional<tarnel::Tag> currentTag() const { return currentTag_; }
  void setCurrentTag(const std::optional<tarnel::Tag>& tag);
  std::optional<tarnel::Tag> selectedTag() const { return selectedTag_; }
  void setSelectedTag(const std::optional<tarnel::Tag>& tag);
  QString selectedArea() const { return selectedArea_; }
  void setSelectedArea(const QString& area);
  std::optional<tarnel::Country> currentCountry() const { return currentCountry_; }
  void setCurrentCountry(const std::optional<tarnel::Country>& country);
  std::optional<tarnel::Node> currentNode() const { return currentNode_; }
  void setCurrentNode(const std::optional<tarnel::Node>& node);

  helmsey::VPNStatus vpnStatus() const { return vpnStatus_; }
  void setVpnStatus(helmsey::VPNStatus status);
  bool switchListen() const { return switchListen_; }
  void setSwitchListen(bool on);
  bool hasNotices() const { return hasNotices_; }
  void setHasNotices(bool has);
  std::vector<std::int64_t> noticesReadIds() const { return noticesReadIds_; }
  void setNoticesReadIds(std::vector<std::int64_t> ids);
  bool showRouteTips() const { return showRouteTips_; }
  void setShowRouteTips(bool on);
  QString currentState() const { return currentState_; }
  void setCurrentState(const QString& state);
  tarnel::VPNProtocol connectProtocol() const { return connectProtocol_; }
  void setConnectProtocol(tarnel::VPNProtocol protocol);
  std::vector<std::int64_t> allNotices() const { return allNotices_; }
  void setAllNotices(std::vector<std::int64_t> ids);

  bool commadnProxy() const { return commadnProxy_; }
  void setCommadnProxy(bool on);
  bool reconnect() const { return reconnect_; }
  void setReconnect(bool on);
  bool status() const { return status_; }
  void setStatus(bool on);
  bool systemProxy() const { return systemProxy_; }
  void setSystemProxy(bool on);
  QString dns() const { return dns_; }
  void setDns(const QString& server);
  QString dnsStrategy() const { return dnsStrategy_; }
  void setDnsStrategy(const QString& strategy);
  QString closeEvent() const { return closeEvent_; }
  void setCloseEvent(const QString& event);

  QString locationName() const;
  QString locationIcon() const;
  QString protocolName() const;

  // The value QML sees: the model wrapped, or null for none.
  QVariant loginInfoValue() const { return QVariant::fromValue(loginInfo_); }
  QVariant liveValue() const { return QVariant::fromValue(live_); }
  QVariant currentTagValue() const;
  void setCurrentTagValue(const QVariant& tag);
  QVariant selectedTagValue() const;
  void setSelectedTagValue(const QVariant& tag);
  QVariant currentCountryValue() const;
  void setCurrentCountryValue(const QVariant& country);
  QVariant currentNodeValue() const;
  void setCurrentNodeValue(const QVariant& node);
  int vpnStatusValue() const { return static_cast<int>(vpnStatus_); }
  void setVpnStatusValue(int status);
  QVariantList noticesReadIdsValue() const;
  void setNoticesReadIdsValue(const QVariantList& ids);
  QVariantList allNoticesValue() const;
  void setAllNoticesValue(const QVariantList& ids);
  // The protocol's stored code ("" for automatic).
  QString connectProtocolValue() const;
  void setConnectProtocolValue(const QString& raw);

  // The stored protocol code as a protocol: a text that is no protocol (written by another
  // version, say) reads as automatic, like an absent one.
  static tarnel::VPNProtocol protocolFromStored(const std::optional<tarnel::StoreValue>& stored);
  // The display text of a status ("connecting", ..., "disconnected"); none leaves it unchanged.
  static std::optional<QString> stateText(helmsey::VPNStatus status);

 signals:
  void currentLanguageChanged();
  void appTitleChanged();
  void loginInfoChanged();
  void backgroundChanged();
  void smartRouteChanged();
  void tunnelModeChanged();
  void checkConnectionChanged();
  void liveChanged();
  void currentTagChanged();
  void selectedTagChanged();
  void selectedAreaChanged();
  void currentCountryChanged();
  void currentNodeChanged();
  void vpnStatusChanged();
  void switchListenChanged();
  void hasNoticesChanged();
  void noticesReadIdsChanged();
  void showRouteTipsChanged();
  void currentStateChanged();
  void connectProtocolChanged();
  void allNoticesChanged();
  void commadnProxyChanged();
  void reconnectChanged();
  void statusChanged();
  void systemProxyChanged();
  void dnsChanged();
  void dnsStrategyChanged();
  void closeEventChanged();
  void locationChanged();
  void protocolNameChanged();

 private:
  void languageChanged();
  void noticesChanged();
  void restartConnection();
  void store(tarnel::StoreKeys key, const tarnel::StoreValue& value);
  void storeBool(tarnel::StoreKeys key, bool value);
  void storeText(tarnel::StoreKeys key, const QString& value);
  bool storedBool(tarnel::StoreKeys key, bool fallback);
  QString storedText(tarnel::StoreKeys key, const QString& fallback);
  void setBoolSetting(bool& field, bool value, tarnel::StoreKeys key, void (AppStateManager::*changed)());
  void setTextSetting(QString& field, const QString& value, tarnel::StoreKeys key,
                      void (AppStateManager::*changed)());

  Services services_;
  AppStateOptions options_;

  bool isInited_ = false;
  QString currentLanguage_;
  QString appTitle_;
  Router* router_;
  tarnel::Login loginInfo_;
  bool background_ = true;
  bool smartRoute_ = true;
  bool tunnelMode_ = false;
  bool checkConnection_ = true;
  tarnel::Live live_;
  std::optional<tarnel::Tag> currentTag_;
  std::optional<tarnel::Tag> selectedTag_;
  QString selectedArea_;
  std::optional<tarnel::Country> currentCountry_;
  std::optional<tarnel::Node> currentNode_;
  helmsey::VPNStatus vpnStatus_ = helmsey::VPNStatus::disconnected;
  bool switchListen_ = false;
  bool hasNotices_ = false;
  std::vector<std::int64_t> noticesReadIds_;
  bool showRouteTips_ = false;
  QString currentState_ = QStringLiteral("disconnected");
  tarnel::VPNProtocol connectProtocol_ = tarnel::VPNProtocol::AUTO;
  std::vector<std::int64_t> allNotices_;
  bool commadnProxy_ = false;
  bool reconnect_ = false;
  bool status_ = true;
  bool systemProxy_ = false;
  QString dns_ = QStringLiteral("auto");
  QString dnsStrategy_ = QStringLiteral("UseIP");
  QString closeEvent_ = QStringLiteral("hide");
};

}  // namespace lumora
