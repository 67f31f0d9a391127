#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "services/model/ServerSettingsModels.h"
#include "ui/base/services/Services.h"

namespace lumora {

class DialogManager;
class DownloadManager;

// The program's build number as the update check reads it: an optional sign and decimal digits;
// anything else, an empty text or an overflow reads as 0.
std::int64_t parseBuildNumber(std::string_view text);

// The Debian architecture this program was built for ("amd64", "arm64", ...): the package that
// replaces it must be of the same one.
std::string_view packageArchitecture();
// The update package's path on the download host: the configured path with "{arch}" replaced.
QString updatePackagePath(const QString& configured, std::string_view architecture);

// `downloading`: a manual check while the update's download panel is up says where the update
// stands instead of offering it again.
enum class UpdateDecision { nothing, forced, offer, upToDate, downloading };

struct UpdateInputs {
  bool manual = false;
  bool showing = false;         // an update dialog is up, or the program leaves for the store page
  std::int64_t current = 0;     // the running build number
  std::int64_t ignored = 0;     // the offered version the user chose to skip
  std::optional<tarnel::Other> other;  // the service's settings, when the account answer had them
  bool downloading = false;     // the download panel is up: the package downloads, or failed to
};

// What a check shows; pure, so the whole table is tested without dialogs.
UpdateDecision decideUpdate(const UpdateInputs& in);

// The update check: compares the service's version numbers with the program's build number,
// forces or offers an update in the dialog, lets the user skip an offered version, and runs the
// update (the store page and out, or the package download). Once the download runs, its panel
// answers a manual check; an update that ends without installing (a failed download put away, a
// package no installer took) leaves the next check free. GUI thread only.
class UpdateManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(bool showIgnore READ showIgnore NOTIFY showIgnoreChanged)
  Q_PROPERTY(bool ignore READ ignore WRITE setIgnore NOTIFY ignoreChanged)

 public:
  struct Options {
    std::int64_t buildNumber = 0;
    bool isAppStore = false;
    QUrl storePage;                        // store builds update there
    std::function<bool(const QUrl&)> openUrl;
    std::function<void()> quit;            // the quit path
    // The package's architecture; empty: the one this program was built for.
    std::string architecture;
  };

  UpdateManager(Services services, DialogManager& dialog, DownloadManager& download, Options options,
                QObject* parent);
  static UpdateManager* create(QQmlEngine* qml, QJSEngine* js);

  // The engine the offer's content is made in; none: the offer shows as text.
  void setEngine(QQmlEngine* engine) { engine_ = engine; }

  Q_INVOKABLE void checkUpdate(bool manual);
  Q_INVOKABLE void performUpdate();

  bool showing() const { return showing_; }
  bool showIgnore() const { return showIgnore_; }
  bool ignore() const { return ignore_; }
  // Stored at once: the offered newest version, or 0 when unticked.
  void setIgnore(bool ignore);

 signals:
  void showIgnoreChanged();
  void ignoreChanged();

 private:
  std::optional<tarnel::Other> other() const;
  std::int64_t ignoredVersion() const;
  void showOffer(bool showIgnore);
  // The offer left the screen: closed, or replaced by another dialog (whose close never runs
  // the offer's cancel), or taken up. A later check may offer again, unless the program leaves.
  void offerGone();

  Services services_;
  DialogManager& dialog_;
  DownloadManager& download_;
  Options options_;
  QPointer<QQmlEngine> engine_;
  QPointer<QQmlComponent> offerContent_;
  bool showing_ = false;
  // The store page is open and the program on its way out: nothing offers again.
  bool leaving_ = false;
  QMetaObject::Connection offerReplaced_;
  QMetaObject::Connection offerClosed_;
  bool showIgnore_ = false;
  bool ignore_ = false;
};

}  // namespace lumora
