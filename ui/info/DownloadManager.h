#pragma once

#include <QFile>
#include <QList>
#include <QNetworkAccessManager>
#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

class QNetworkReply;

namespace lumora {

// Downloads the update package with progress and speed for the download panel. The package is
// kept only when it came over verified TLS (https, certificate checked, no redirect elsewhere)
// from the host it was asked of and is complete (as long as the announced length); then it
// moves into the caches folder and goes to the package installer. Only once an installer has it
// is it handed on (to the quit path); when none answers, the user is told where the package is
// and the program stays. A failed download can be retried or dismissed. GUI thread only.
class DownloadManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(bool isDownloading READ isDownloading NOTIFY isDownloadingChanged)
  Q_PROPERTY(double downloadProgress READ downloadProgress NOTIFY downloadProgressChanged)
  Q_PROPERTY(double downloadSpeed READ downloadSpeed NOTIFY downloadSpeedChanged)
  Q_PROPERTY(bool downloadFailed READ downloadFailed NOTIFY downloadFailedChanged)
  Q_PROPERTY(QString speedText READ speedText NOTIFY downloadSpeedChanged)

 public:
  struct Options {
    QString cacheDir;   // where the package lands
    QString fileName;   // its name there
    // Authorities trusted besides the system's (a test's own); never a way around verification.
    QList<QSslCertificate> extraAuthorities;
    // Hands the complete package to the package installer; `answered` hears whether one has it.
    // None: the package counts as taken.
    std::function<void(const QString& path, std::function<void(bool installerHasIt)> answered)> install;
    // The complete package at `path` is with the installer.
    std::function<void(const QString& path)> finished;
    // Seconds since 1970 (a test's clock); none: the system clock.
    std::function<double()> now;
    // Runs the update afresh when a retry has no address to go back to.
    std::function<void()> restart;
  };

  DownloadManager(Options options, QObject* parent);
  ~DownloadManager() override;
  static DownloadManager* create(QQmlEngine* qml, QJSEngine* js);

  void setRestart(std::function<void()> restart) { options_.restart = std::move(restart); }

  bool isDownloading() const { return isDownloading_; }
  double downloadProgress() const { return downloadProgress_; }
  double downloadSpeed() const { return downloadSpeed_; }
  bool downloadFailed() const { return downloadFailed_; }
  QString speedText() const { return speedText(downloadSpeed_); }
  QString lastDownload() const { return lastdownload_; }

  // Starts or restarts; an empty text downloads the last address again.
  Q_INVOKABLE void startDownload(const QString& url);
  Q_INVOKABLE void retry();
  // Hides the panel after a failure; does nothing while a download runs.
  Q_INVOKABLE void dismiss();
  // Shows the panel failed with `message` (also as an error toast).
  void fail(const QString& message);
  // No installer took the package at `path`: the panel goes and a dialog says where it is.
  void installerMissing(const QString& path);

  // One progress report: the speed is sampled at most once a second.
  void applyProgress(qint64 written, qint64 expected);

  // "%.2f MB/S" above 1024 KB/s, else "%.2f KB/S".
  static QString speedText(double kilobytesPerSecond);

 signals:
  void isDownloadingChanged();
  void downloadProgressChanged();
  void downloadSpeedChanged();
  void downloadFailedChanged();

 private:
  double now() const;
  void setDownloading(bool on);
  void setFailed(bool failed);
  void setProgress(double progress);
  void setSpeed(double speed);
  void dropReply();
  void received();
  void ended();
  QString partPath() const;

  Options options_;
  QNetworkAccessManager network_;
  QPointer<QNetworkReply> reply_;
  std::unique_ptr<QFile> part_;
  QString host_;
  qint64 written_ = 0;
  bool isDownloading_ = false;
  double downloadProgress_ = 0;
  double downloadSpeed_ = 0;
  bool downloadFailed_ = false;
  double lastUpdateTime_ = 0;
  qint64 lastDownloadedBytes_ = 0;
  QString lastdownload_;
};

}  // namespace lumora
