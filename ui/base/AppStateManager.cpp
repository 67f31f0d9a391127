#include "ui/base/AppStateManager.h"

#include "services/log/EventType.h"
#include "ui/base/AppGlobals.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/base/Translations.h"
#include "ui/base/Workers.h"

namespace lumora {

using tarnel::StoreKeys;
using tarnel::StoreValue;

namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

// The account data parts asked for after a language change: the country and tag lists.
constexpr std::int64_t kCountriesAndTags = 3;

template <class T>
QVariant optionalValue(const std::optional<T>& value) {
  return value ? QVariant::fromValue(*value) : QVariant();
}

template <class T>
std::optional<T> optionalFrom(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<T>()) return value.value<T>();
  return std::nullopt;
}

std::vector<std::int64_t> idsFrom(const QVariantList& list) {
  std::vector<std::int64_t> ids;
  ids.reserve(static_cast<std::size_t>(list.size()));
  for (const auto& id : list) ids.push_back(id.toLongLong());
  return ids;
}

QVariantList idsToList(const std::vector<std::int64_t>& ids) {
  QVariantList list;
  for (auto id : ids) list.append(QVariant::fromValue(static_cast<qlonglong>(id)));
  return list;
}

}  // namespace

AppStateManager::AppStateManager(Services services, AppStateOptions options, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      options_(std::move(options)),
      router_(new Router(Route::initial, this)) {
  // Initial values, in declaration order.
  loginInfo_ = services_.account->loginInfo();
  live_ = services_.status->currentLive();
  currentTag_ = services_.nodes->currentTag();
  selectedTag_ = currentTag_;
  selectedArea_ = fromStd(services_.nodes->selectedArea());
  currentCountry_ = services_.nodes->currentCountry();
  currentNode_ = services_.nodes->currentNode();

  // The language observer runs once now; before isInited it only sets language and title.
  currentLanguage_ = fromStd(services_.status->language());
  languageChanged();

  // Every setting read with its fallback and written back, in this order.
  setSmartRoute(storedBool(StoreKeys::SMART_ROUTE, true));
  setCheckConnection(storedBool(StoreKeys::CHECK_CONNECTION, true));
  setTunnelMode(storedBool(StoreKeys::TUNNELMODE, options_.isAppStore));
  {
    const auto stored = services_.settings->value(StoreKeys::NOTICE_IDS);
    std::vector<std::int64_t> ids;
    if (stored) {
      if (auto list = stored->integerList()) ids = *list;
    }
    setNoticesReadIds(std::move(ids));
  }
  setShowRouteTips(storedBool(StoreKeys::MAIN_ROUTE_TIPS, false));
  setConnectProtocol(protocolFromStored(services_.settings->value(StoreKeys::SELECTED_PROTOCOL)));
  setCommadnProxy(storedBool(StoreKeys::COMMAND_PROXY, false));
  setReconnect(storedBool(StoreKeys::RECONNECT, false));
  setStatus(storedBool(StoreKeys::STATUS_ICON, true));
  setSystemProxy(storedBool(StoreKeys::SYSTEM_PROXY, false));
  setDns(storedText(StoreKeys::DNS_SERVER, QStringLiteral("auto")));
  setDnsStrategy(storedText(StoreKeys::DNS_STRATEGY, QStringLiteral("UseIP")));
  setCloseEvent(storedText(StoreKeys::CLOSE_EVENT, QStringLiteral("hide")));

  isInited_ = true;
}

AppStateManager* AppStateManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<AppStateManager>::forQml(qml, js);
}

bool AppStateManager::storedBool(StoreKeys key, bool fallback) {
  const auto stored = services_.settings->value(key);
  // A text or a list under a Bool key is as good as none (the numbers 0 and 1 are booleans).
  if (!stored) return fallback;
  return stored->boolean().value_or(fallback);
}

QString AppStateManager::storedText(StoreKeys key, const QString& fallback) {
  const auto stored = services_.settings->value(key);
  if (!stored) return fallback;
  const auto text = stored->string();
  return text ? fromStd(*text) : fallback;
}

void AppStateManager::store(StoreKeys key, const StoreValue& value) {
  // The store keeps the value at once and writes the file behind, off this thread. At start-up a
  // setting that is already stored as it stands has nothing to add, so a normal start reads the
  // settings without writing them.
  if (!isInited_) {
    const auto current = services_.settings->value(key);
    if (current && *current == value) return;
  }
  services_.settings->setValue(key, value);
}

void AppStateManager::storeBool(StoreKeys key, bool value) { store(key, StoreValue(value)); }

void AppStateManager::storeText(StoreKeys key, const QString& value) { store(key, StoreValue(value.toStdString())); }

void AppStateManager::setBoolSetting(bool& field, bool value, StoreKeys key, void (AppStateManager::*changed)()) {
  const bool differs = field != value;
  field = value;
  storeBool(key, value);
  if (differs) emit(this->*changed)();
}

void AppStateManager::setTextSetting(QString& field, const QString& value, StoreKeys key,
                                     void (AppStateManager::*changed)()) {
  const bool differs = field != value;
  field = value;
  storeText(key, value);
  if (differs) emit(this->*changed)();
}

tarnel::VPNProtocol AppStateManager::protocolFromStored(const std::optional<StoreValue>& stored) {
  if (!stored) return tarnel::VPNProtocol::AUTO;
  const auto text = stored->string();
  if (!text) return tarnel::VPNProtocol::AUTO;
  return tarnel::vpnProtocolFromRaw(*text).value_or(tarnel::VPNProtocol::AUTO);
}

std::optional<QString> AppStateManager::stateText(helmsey::VPNStatus status) {
  switch (status) {
    case helmsey::VPNStatus::connecting: return QStringLiteral("connecting");
    case helmsey::VPNStatus::connected: return QStringLiteral("connected");
    case helmsey::VPNStatus::disconnecting: return QStringLiteral("disconnecting");
    case helmsey::VPNStatus::disconnected: return QStringLiteral("disconnected");
    case helmsey::VPNStatus::userCanceled: return QStringLiteral("disconnected");
  }
  return std::nullopt;
}

// Language and title.

namespace {

// The title text filled in; without an official site its place goes together with the
// separators and brackets around it ("Tarnel v1.0 - %2" gives "Tarnel v1.0", not "Tarnel v1.0 - ").
QString titleFrom(const QString& format, const QString& version, const QString& domain) {
  if (!format.contains(QLatin1String("%1"))) return format;
  if (!domain.isEmpty() || !format.contains(QLatin1String("%2"))) return format.arg(version, domain);
  const QChar marker(0xFFFF);
  QString title = format.arg(version, QString(marker));
  const auto isFiller = [](QChar c) { return !c.isLetterOrNumber(); };
  qsizetype begin = title.indexOf(marker);
  qsizetype end = begin + 1;
  while (begin > 0 && isFiller(title.at(begin - 1))) --begin;
  while (end < title.size() && isFiller(title.at(end))) ++end;
  // A separator that joins two words stays as one space.
  title.replace(begin, end - begin, begin > 0 && end < title.size() ? QStringLiteral(" ") : QString());
  return title;
}

}  // namespace

void AppStateManager::setCurrentLanguage(const QString& code) {
  const bool differs = code != currentLanguage_;
  currentLanguage_ = code;
  // The new texts are in place before anyone hears of the change and reads them.
  languageChanged();
  if (differs) emit currentLanguageChanged();
}

void AppStateManager::languageChanged() {
  const std::string code = currentLanguage_.toStdString();
  if (isInited_ || services_.status->language() != code) services_.status->setLanguage(code);
  if (options_.translations) options_.translations->setLanguage(currentLanguage_);
  if (!options_.isAppStore) {
    const QString version = fromStd(services_.status->appInfo().version);
    const QString domain = fromStd(services_.links->officialDomain());
    setAppTitle(titleFrom(qtTrId("appTitle"), version, domain));
  }
  // Texts that are looked up when read change with the language.
  emit locationChanged();
  emit protocolNameChanged();
  if (!isInited_) return;
  services_.logQueue->event(tarnel::EventType::SETTING_SWITCH_LANGUAGES, currentLanguage_.toStdString(), {});
  // The cached node list carries names in the old language: the next read fetches it anew.
  services_.settings->setValue(StoreKeys::NODE_VERSION, StoreValue(std::string()));
  Workers::run([status = services_.status] { status->update(kCountriesAndTags); });
}

void AppStateManager::setAppTitle(const QString& title) {
  const bool differs = title != appTitle_;
  appTitle_ = title;
  if (differs) emit appTitleChanged();
  if (QWindow* window = mainWindow()) {
    window->setTitle(options_.isAppStore ? QStringLiteral("Tarnel ver: ") + fromStd(services_.status->appInfo().version)
                                         : appTitle_);
  }
}

// Account values.

void AppStateManager::setLoginInfo(const tarnel::Login& login) {
  loginInfo_ = login;
  emit loginInfoChanged();
}

void AppStateManager::setLive(const tarnel::Live& live) {
  live_ = live;
  emit liveChanged();
}

// Plain published fields.

void AppStateManager::setBackground(bool on) {
  if (on == background_) return;
  background_ = on;
  emit backgroundChanged();
}

void AppStateManager::setSwitchListen(bool on) {
  if (on == switchListen_) return;
  switchListen_ = on;
  emit switchListenChanged();
}

void AppStateManager::setHasNotices(bool has) {
  if (has == hasNotices_) return;
  hasNotices_ = has;
  emit hasNoticesChanged();
}

void AppStateManager::setCurrentState(const QString& state) {
  if (state == currentState_) return;
  currentState_ = state;
  emit currentStateChanged();
}

void AppStateManager::setSelectedTag(const std::optional<tarnel::Tag>& tag) {
  selectedTag_ = tag;
  emit selectedTagChanged();
}

void AppStateManager::setAllNotices(std::vector<std::int64_t> ids) {
  // The read mark is recomputed only when the read ids change.
  allNotices_ = std::move(ids);
  emit allNoticesChanged();
}

// Stored settings.

void AppStateManager::setSmartRoute(bool on) {
  setBoolSetting(smartRoute_, on, StoreKeys::SMART_ROUTE, &AppStateManager::smartRouteChanged);
}
void AppStateManager::setTunnelMode(bool on) {
  setBoolSetting(tunnelMode_, on, StoreKeys::TUNNELMODE, &AppStateManager::tunnelModeChanged);
}
void AppStateManager::setCheckConnection(bool on) {
  setBoolSetting(checkConnection_, on, StoreKeys::CHECK_CONNECTION, &AppStateManager::checkConnectionChanged);
}
void AppStateManager::setShowRouteTips(bool on) {
  setBoolSetting(showRouteTips_, on, StoreKeys::MAIN_ROUTE_TIPS, &AppStateManager::showRouteTipsChanged);
}
void AppStateManager::setCommadnProxy(bool on) {
  setBoolSetting(commadnProxy_, on, StoreKeys::COMMAND_PROXY, &AppStateManager::commadnProxyChanged);
}
void AppStateManager::setReconnect(bool on) {
  setBoolSetting(reconnect_, on, StoreKeys::RECONNECT, &AppStateManager::reconnectChanged);
}
void AppStateManager::setStatus(bool on) {
  setBoolSetting(status_, on, StoreKeys::STATUS_ICON, &AppStateManager::statusChanged);
}
void AppStateManager::setSystemProxy(bool on) {
  setBoolSetting(systemProxy_, on, StoreKeys::SYSTEM_PROXY, &AppStateManager::systemProxyChanged);
}
void AppStateManager::setDns(const QString& server) {
  setTextSetting(dns_, server, StoreKeys::DNS_SERVER, &AppStateManager::dnsChanged);
}
void AppStateManager::setDnsStrategy(const QString& strategy) {
  setTextSetting(dnsStrategy_, strategy, StoreKeys::DNS_STRATEGY, &AppStateManager::dnsStrategyChanged);
}
void AppStateManager::setCloseEvent(const QString& event) {
  setTextSetting(closeEvent_, event, StoreKeys::CLOSE_EVENT, &AppStateManager::closeEventChanged);
}

// Notices.

void AppStateManager::setNoticesReadIds(std::vector<std::int64_t> ids) {
  noticesReadIds_ = std::move(ids);
  emit noticesReadIdsChanged();
  noticesChanged();
}

void AppStateManager::noticesChanged() {
  store(StoreKeys::NOTICE_IDS, StoreValue(StoreValue::IntegerList(noticesReadIds_)));
  bool unread = false;
  for (auto id : allNotices_) {
    if (std::find(noticesReadIds_.begin(), noticesReadIds_.end(), id) == noticesReadIds_.end()) {
      unread = true;
      break;
    }
  }
  setHasNotices(unread);
}

// Status.

void AppStateManager::setVpnStatus(helmsey::VPNStatus status) {
  const bool differs = status != vpnStatus_;
  vpnStatus_ = status;
  if (differs) emit vpnStatusChanged();
  if (auto text = stateText(status)) setCurrentState(*text);
  emit protocolNameChanged();  // under automatic it names the protocol of the attempt
  // The node in use is the attempt's choice (an automatic one included), made and dropped by the
  // connection, not only by a pick: the location texts are read anew with every status.
  emit locationChanged();
}

void AppStateManager::setVpnStatusValue(int status) {
  if (status < 0 || status > static_cast<int>(helmsey::VPNStatus::userCanceled)) return;
  setVpnStatus(static_cast<helmsey::VPNStatus>(status));
}

// Location and protocol, mirrored into the node selection.

void AppStateManager::setCurrentTag(const std::optional<tarnel::Tag>& tag) {
  currentTag_ = tag;
  emit currentTagChanged();
  services_.nodes->setCurrentTag(tag);
}

void AppStateManager::setSelectedArea(const QString& area) {
  const bool differs = area != selectedArea_;
  selectedArea_ = area;
  // Stored first: the country list that follows the signal reads the region from the library.
  services_.nodes->setSelectedArea(area.toStdString());
  if (differs) emit selectedAreaChanged();
}

void AppStateManager::setCurrentCountry(const std::optional<tarnel::Country>& country) {
  currentCountry_ = country;
  emit currentCountryChanged();
  // The node pick belongs to the old country: drop it before the country changes.
  services_.nodes->setSelectedNode(std::nullopt);
  services_.nodes->setCurrentCountry(country);
  emit locationChanged();
  restartConnection();
}

void AppStateManager::setCurrentNode(const std::optional<tarnel::Node>& node) {
  currentNode_ = node;
  emit currentNodeChanged();
  services_.nodes->setSelectedNode(node);
  emit locationChanged();
  restartConnection();
}

void AppStateManager::restartConnection() {
  const std::shared_ptr<ConnectFront> front = options_.front;
  if (!front) return;
  // Read here, on the GUI thread; the worker sees only this copy and the front.
  const bool listening = switchListen_;
  Workers::run(
      this,
      [front, listening] {
        if (listening) front->setNeedSwitch(true);
        front->disconnect();
      },
      [front] { front->toggleConnection(false); });
}

void AppStateManager::setConnectProtocol(tarnel::VPNProtocol protocol) {
  const bool differs = protocol != connectProtocol_;
  connectProtocol_ = protocol;
  if (differs) emit connectProtocolChanged();
  const StoreValue code(std::string(tarnel::rawValue(protocol)));
  // At start-up the node selection already holds the stored code it was built from.
  const auto stored = isInited_ ? std::nullopt : services_.settings->value(StoreKeys::SELECTED_PROTOCOL);
  if (!stored || !(*stored == code)) {
    services_.nodes->setCurrentProtocol(protocol);
    // Kept under its key here too, so a stored code that is no protocol is replaced at once.
    store(StoreKeys::SELECTED_PROTOCOL, code);
  }
  emit protocolNameChanged();
}

// Computed texts: they read the node selection, not this object's own location fields.

QString AppStateManager::locationName() const {
  if (const auto node = services_.nodes->currentNode()) return fromStd(node->name);
  if (const auto country = services_.nodes->currentCountry()) return fromStd(country->name);
  return qtTrId("auto");
}

QString AppStateManager::locationIcon() const {
  std::string code;
  if (const auto node = services_.nodes->currentNode()) {
    code = node->country;
  } else if (const auto country = services_.nodes->currentCountry()) {
    code = country->country;
  }
  if (code.empty()) return {};
  return fromStd(services_.links->countryIcon(QString::fromStdString(code).toUpper().toStdString()));
}

QString AppStateManager::protocolName() const {
  if (connectProtocol_ == tarnel::VPNProtocol::AUTO) {
    static const char* const kAutomatic = QT_TRID_NOOP("Automatic");
    Q_UNUSED(kAutomatic);
    return localized(QString::fromUtf8(tarnel::Name(connectProtocol_))) + QLatin1Char('(') +
           QString::fromUtf8(tarnel::Name(services_.nodes->currentProtocol())) + QLatin1Char(')');
  }
  return QString::fromUtf8(tarnel::Name(connectProtocol_));
}

// QML faces.

QVariant AppStateManager::currentTagValue() const { return optionalValue(currentTag_); }
void AppStateManager::setCurrentTagValue(const QVariant& tag) { setCurrentTag(optionalFrom<tarnel::Tag>(tag)); }
QVariant AppStateManager::selectedTagValue() const { return optionalValue(selectedTag_); }
void AppStateManager::setSelectedTagValue(const QVariant& tag) { setSelectedTag(optionalFrom<tarnel::Tag>(tag)); }
QVariant AppStateManager::currentCountryValue() const { return optionalValue(currentCountry_); }
void AppStateManager::setCurrentCountryValue(const QVariant& country) {
  setCurrentCountry(optionalFrom<tarnel::Country>(country));
}
QVariant AppStateManager::currentNodeValue() const { return optionalValue(currentNode_); }
void AppStateManager::setCurrentNodeValue(const QVariant& node) { setCurrentNode(optionalFrom<tarnel::Node>(node)); }
QVariantList AppStateManager::noticesReadIdsValue() const { return idsToList(noticesReadIds_); }
void AppStateManager::setNoticesReadIdsValue(const QVariantList& ids) { setNoticesReadIds(idsFrom(ids)); }
QVariantList AppStateManager::allNoticesValue() const { return idsToList(allNotices_); }
void AppStateManager::setAllNoticesValue(const QVariantList& ids) { setAllNotices(idsFrom(ids)); }
QString AppStateManager::connectProtocolValue() const { return QString::fromUtf8(tarnel::rawValue(connectProtocol_)); }
void AppStateManager::setConnectProtocolValue(const QString& raw) {
  if (const auto protocol = tarnel::vpnProtocolFromRaw(raw.toStdString())) setConnectProtocol(*protocol);
}

}  // namespace lumora
