#include "ui/info/UpdateManager.h"

#include <charconv>
#include <limits>

#include "services/network/DeploymentConfig.h"
#include "ui/base/DialogManager.h"
#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"
#include "ui/info/DownloadManager.h"

namespace lumora {

namespace {
const QUrl kOfferDocument(QStringLiteral("qrc:/qt/qml/Lumora/Info/NewVersionView.qml"));
}

std::int64_t parseBuildNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (magnitude > kMax + (negative ? 1 : 0)) return 0;
  if (negative) return magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
  return std::int64_t(magnitude);
}

std::string_view packageArchitecture() {
#if defined(__x86_64__)
  return "amd64";
#elif defined(__aarch64__)
  return "arm64";
#elif defined(__i386__)
  return "i386";
#elif defined(__arm__)
  return "armhf";
#elif defined(__powerpc64__) && defined(__LITTLE_ENDIAN__)
  return "ppc64el";
#elif defined(__s390x__)
  return "s390x";
#elif defined(__riscv) && __riscv_xlen == 64
  return "riscv64";
#elif defined(__mips64) && defined(__MIPSEL__)
  return "mips64el";
#else
#error "the Debian architecture of this build is not known"
#endif
}

QString updatePackagePath(const QString& configured, std::string_view architecture) {
  QString path = configured;
  path.replace(QStringLiteral("{arch}"), QString::fromUtf8(architecture.data(), qsizetype(architecture.size())));
  return path;
}

UpdateDecision decideUpdate(const UpdateInputs& in) {
  if (in.downloading) return in.manual ? UpdateDecision::downloading : UpdateDecision::nothing;
  if (in.manual) {
    const std::int64_t offered = in.other ? in.other->update_version.value_or(0) : 0;
    if (offered <= in.current) return UpdateDecision::upToDate;
    return in.showing ? UpdateDecision::nothing : UpdateDecision::offer;
  }
  if (in.other && in.other->version >= 1 && in.other->version > in.current)
    return in.showing ? UpdateDecision::nothing : UpdateDecision::forced;
  const std::int64_t newest = in.other ? in.other->newest_version : 0;
  if (newest > in.current && newest > in.ignored && !in.showing) return UpdateDecision::offer;
  return UpdateDecision::nothing;
}

UpdateManager::UpdateManager(Services services, DialogManager& dialog, DownloadManager& download, Options options,
                             QObject* parent)
    : QObject(parent), services_(std::move(services)), dialog_(dialog), download_(download),
      options_(std::move(options)) {
  // A retry with no address yet (the host was missing) runs the update afresh.
  download_.setRestart([this] { performUpdate(); });
}

UpdateManager* UpdateManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<UpdateManager>::forQml(qml, js);
}

std::optional<tarnel::Other> UpdateManager::other() const {
  if (!services_.account) return std::nullopt;
  return services_.account->loginInfo().other;
}

std::int64_t UpdateManager::ignoredVersion() const {
  const auto stored = services_.settings->value(tarnel::StoreKeys::IGNORE_VERSION);
  if (!stored) return 0;
  return stored->integer().value_or(0);
}

void UpdateManager::checkUpdate(bool manual) {
  UpdateInputs in;
  in.manual = manual;
  in.showing = showing_;
  in.current = options_.buildNumber;
  in.ignored = manual ? 0 : ignoredVersion();
  in.other = other();
  in.downloading = download_.isDownloading();
  switch (decideUpdate(in)) {
    case UpdateDecision::nothing:
      return;
    case UpdateDecision::downloading:
      // The panel may be out of sight (the window put away): the toast says it as well.
      if (download_.downloadFailed()) {
        showToast(qtTrId("download failed"), ToastType::error);
      } else {
        //% "The update is downloading."
        showToast(qtTrId("update downloading"), ToastType::info);
      }
      return;
    case UpdateDecision::upToDate:
      showToast(qtTrId("is new version (%d)").arg(options_.buildNumber), ToastType::success);
      return;
    case UpdateDecision::forced:
      showing_ = true;
      showDialog(QString::fromUtf8(QT_TRID_NOOP("need update")), QString::fromUtf8(QT_TRID_NOOP("tips_title")), false,
                 {DialogButton{QString::fromUtf8(QT_TRID_NOOP("Confirm")),
                               [this] { confirmDialog([this] { performUpdate(); }); }, true}},
                 nullptr);
      return;
    case UpdateDecision::offer:
      showing_ = true;
      showOffer(!manual);
      return;
  }
}

void UpdateManager::showOffer(bool showIgnore) {
  if (showIgnore_ != showIgnore) {
    showIgnore_ = showIgnore;
    emit showIgnoreChanged();
  }
  if (ignore_) {
    ignore_ = false;
    emit ignoreChanged();
  }
  DialogContent content = DialogContent::fromText(localized(QStringLiteral("has new version")));
  if (engine_) {
    if (!offerContent_) offerContent_ = new QQmlComponent(engine_, kOfferDocument, this);
    if (offerContent_->isReady()) content = DialogContent::fromComponent(offerContent_);
  }
  std::vector<DialogButton> buttons{DialogButton{QString::fromUtf8(QT_TRID_NOOP("update now")),
                                                 [this] { confirmDialog([this] { performUpdate(); }); }, true}};
  offerGone();
  showing_ = true;
  dialog_.show(std::move(buttons), QString::fromUtf8(QT_TRID_NOOP("tips_title")), true, [] {},
               [this] { offerGone(); }, content);
  // Watched from here on: anything that now changes the dialog's content or hides it ends the offer.
  offerReplaced_ = connect(&dialog_, &DialogManager::contentChanged, this, &UpdateManager::offerGone);
  offerClosed_ = connect(&dialog_, &DialogManager::isShowChanged, this, [this] {
    if (!dialog_.isShow()) offerGone();
  });
}

void UpdateManager::offerGone() {
  disconnect(offerReplaced_);
  disconnect(offerClosed_);
  if (!leaving_) showing_ = false;
}

void UpdateManager::setIgnore(bool ignore) {
  if (ignore_ == ignore) return;
  ignore_ = ignore;
  std::int64_t version = 0;
  if (ignore_) {
    if (const auto settings = other()) version = settings->newest_version;
  }
  services_.settings->setValue(tarnel::StoreKeys::IGNORE_VERSION, tarnel::StoreValue(version));
  emit ignoreChanged();
}

void UpdateManager::performUpdate() {
  if (options_.isAppStore) {
    leaving_ = true;
    showing_ = true;
    if (options_.openUrl) options_.openUrl(options_.storePage);
    if (options_.quit) options_.quit();
    return;
  }
  // The dialog that asked goes with this press (the forced one has no close of its own to say
  // so); from here on the download's panel stands for the update until the update ends.
  showing_ = false;
  const std::string host = services_.links ? services_.links->downloadHost() : std::string();
  if (host.empty()) {
    // No download host yet (discovery has not answered): say so rather than ask "https:///...".
    download_.fail(qtTrId("download host missing"));
    return;
  }
  const std::string_view architecture =
      options_.architecture.empty() ? packageArchitecture() : std::string_view(options_.architecture);
  download_.startDownload(QStringLiteral("https://") + QString::fromStdString(host) +
                          updatePackagePath(QString::fromUtf8(tarnel::deployment::kUpdatePackagePath), architecture));
}

}  // namespace lumora
