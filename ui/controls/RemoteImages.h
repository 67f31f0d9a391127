#pragma once

#include <QQmlNetworkAccessManagerFactory>
#include <QString>

#include <atomic>

namespace lumora {

// The network access of the pages' remote pictures (flags, tag icons): each access manager the
// QML engine asks for keeps a disk cache under `cacheFolder`, so a picture seen once shows again
// without the network, also after a restart. Direct connections: no proxy from the environment.
// Set on an engine before it loads anything; it must outlive the engine.
class RemoteImages final : public QQmlNetworkAccessManagerFactory {
 public:
  explicit RemoteImages(QString cacheFolder) : cacheFolder_(std::move(cacheFolder)) {}

  // The program's folder for them: "images" in its caches folder.
  static QString defaultFolder();

  // Called by the engine on its loader threads.
  QNetworkAccessManager* create(QObject* parent) override;

 private:
  QString cacheFolder_;
  std::atomic<int> made_{0};
};

}  // namespace lumora
