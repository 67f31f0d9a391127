#include "ui/info/DownloadManager.h"

#include <QDateTime>
#include <QDir>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <cstdio>

#include "ui/base/Feedback.h"
#include "ui/base/SharedInstance.h"

namespace lumora {

DownloadManager::DownloadManager(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
  // The package never goes through a proxy taken from the environment.
  network_.setProxy(QNetworkProxy::NoProxy);
}

DownloadManager::~DownloadManager() { dropReply(); }

DownloadManager* DownloadManager::create(QQmlEngine* qml, QJSEngine* js) {
  return SharedInstance<DownloadManager>::forQml(qml, js);
}

double DownloadManager::now() const {
  if (options_.now) return options_.now();
  return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QString DownloadManager::partPath() const {
  return QDir(options_.cacheDir).filePath(options_.fileName + QStringLiteral(".part"));
}

void DownloadManager::startDownload(const QString& url) {
  if (url.isEmpty()) {
    if (lastdownload_.isEmpty()) {
      if (options_.restart) options_.restart();
      return;
    }
  } else {
    lastdownload_ = url;
  }
  const QUrl address(lastdownload_, QUrl::StrictMode);
  if (!address.isValid() || address.isRelative() || address.host().isEmpty()) {
    std::puts("Invalid URL");
    return;
  }
  dropReply();
  setDownloading(true);
  setFailed(false);
  setProgress(0);
  setSpeed(0);
  lastUpdateTime_ = now();
  // A retry measures its first speed sample against its own bytes, not the failed attempt's.
  lastDownloadedBytes_ = 0;
  written_ = 0;

  if (address.scheme() != QLatin1String("https")) {
    fail(qtTrId("download failed"));
    return;
  }
  host_ = address.host();
  QDir().mkpath(options_.cacheDir);
  part_ = std::make_unique<QFile>(partPath());
  if (!part_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    fail(qtTrId("open failed : %@").arg(part_->errorString()));
    return;
  }

  QNetworkRequest request(address);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  request.setTransferTimeout(60000);
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
  if (!options_.extraAuthorities.isEmpty()) tls.addCaCertificates(options_.extraAuthorities);
  request.setSslConfiguration(tls);
  reply_ = network_.get(request);
  connect(reply_, &QNetworkReply::readyRead, this, &DownloadManager::received);
  connect(reply_, &QNetworkReply::downloadProgress, this, &DownloadManager::applyProgress);
  connect(reply_, &QNetworkReply::finished, this, &DownloadManager::ended);
}

void DownloadManager::retry() { startDownload(QString()); }

void DownloadManager::dismiss() {
  if (!downloadFailed_) return;
  setFailed(false);
  setDownloading(false);
}

void DownloadManager::fail(const QString& message) {
  dropReply();
  setDownloading(true);
  setFailed(true);
  showToast(message, ToastType::error);
}

void DownloadManager::applyProgress(qint64 written, qint64 expected) {
  const double current = now();
  const double elapsed = current - lastUpdateTime_;
  if (elapsed > 1.0) {
    setSpeed(double(written - lastDownloadedBytes_) / 1024.0 / elapsed);
    lastUpdateTime_ = current;
    lastDownloadedBytes_ = written;
  }
  // An unknown length shows no progress rather than a division by zero or a negative ring.
  if (expected > 0) setProgress(double(written) / double(expected));
}

QString DownloadManager::speedText(double kilobytesPerSecond) {
  if (kilobytesPerSecond > 1024) return QString::asprintf("%.2f MB/S", kilobytesPerSecond / 1024);
  return QString::asprintf("%.2f KB/S", kilobytesPerSecond);
}

void DownloadManager::received() {
  if (!reply_ || !part_) return;
  const QByteArray chunk = reply_->readAll();
  if (part_->write(chunk) != chunk.size()) {
    fail(qtTrId("open failed : %@").arg(part_->errorString()));
    return;
  }
  written_ += chunk.size();
}

void DownloadManager::ended() {
  QNetworkReply* reply = reply_;
  if (!reply) return;
  received();
  if (!reply_) return;  // failed while writing
  const auto error = reply->error();
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
  const bool verified = reply->url().scheme() == QLatin1String("https") && reply->url().host() == host_ &&
                        !reply->sslConfiguration().peerCertificate().isNull();
  QString problem;
  if (error != QNetworkReply::NoError) {
    problem = reply->errorString();
  } else if (status != 200) {
    problem = QStringLiteral("HTTP %1").arg(status);
  } else if (!verified) {
    problem = qtTrId("download failed");
  } else if (!announced.isValid() || announced.toLongLong() != written_) {
    problem = qtTrId("download incomplete");
  }
  if (!problem.isEmpty()) {
    QFile::remove(partPath());
    fail(problem);
    return;
  }
  dropReply();
  setProgress(1.0);
  const QString destination = QDir(options_.cacheDir).filePath(options_.fileName);
  if (QFile::exists(destination) && !QFile::remove(destination)) {
    fail(qtTrId("open failed : %@").arg(QStringLiteral("cannot replace ") + destination));
    return;
  }
  if (!QFile::rename(partPath(), destination)) {
    fail(qtTrId("open failed : %@").arg(QStringLiteral("cannot move to ") + destination));
    return;
  }
  if (!options_.install) {
    if (options_.finished) options_.finished(destination);
    return;
  }
  QPointer<DownloadManager> self(this);
  options_.install(destination, [self, destination](bool installerHasIt) {
    if (!self) return;
    if (!installerHasIt) {
      self->installerMissing(destination);
      return;
    }
    if (self->options_.finished) self->options_.finished(destination);
  });
}

void DownloadManager::installerMissing(const QString& path) {
  setFailed(false);
  setDownloading(false);
  //% "The update was downloaded to %1, but no package installer opened it. Please install it with your system's package manager."
  const QString message = qtTrId("no package installer").arg(path);
  showDialog(message, QString::fromUtf8(QT_TRID_NOOP("tips_title")), true, {}, {});
}

void DownloadManager::dropReply() {
  if (reply_) {
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
  }
  if (part_) {
    part_->close();
    part_.reset();
  }
}

void DownloadManager::setDownloading(bool on) {
  if (isDownloading_ == on) return;
  isDownloading_ = on;
  emit isDownloadingChanged();
}

void DownloadManager::setFailed(bool failed) {
  if (downloadFailed_ == failed) return;
  downloadFailed_ = failed;
  emit downloadFailedChanged();
}

void DownloadManager::setProgress(double progress) {
  if (downloadProgress_ == progress) return;
  downloadProgress_ = progress;
  emit downloadProgressChanged();
}

void DownloadManager::setSpeed(double speed) {
  if (downloadSpeed_ == speed) return;
  downloadSpeed_ = speed;
  emit downloadSpeedChanged();
}

}  // namespace lumora
