#include "ui/controls/RemoteImages.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkProxy>

#include "platform/XdgPaths.h"

namespace lumora {

namespace {
constexpr qint64 kCacheBytes = 20 * 1024 * 1024;
}

QString RemoteImages::defaultFolder() {
  const auto folder = platform::appCacheDir() / "images";
  return QString::fromStdString(folder.string());
}

QNetworkAccessManager* RemoteImages::create(QObject* parent) {
  auto* network = new QNetworkAccessManager(parent);
  network->setProxy(QNetworkProxy::NoProxy);
  // One folder per manager: a disk cache assumes it is alone in its folder, and the engine may
  // make several managers on different threads.
  const int number = made_.fetch_add(1);
  auto* cache = new QNetworkDiskCache(network);
  cache->setCacheDirectory(QDir(cacheFolder_).filePath(QString::number(number)));
  cache->setMaximumCacheSize(kCacheBytes);
  network->setCache(cache);
  return network;
}

}  // namespace lumora
