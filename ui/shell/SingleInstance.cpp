#include "ui/shell/SingleInstance.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/BundleInfo.h"

namespace lumora {

namespace {

constexpr int kAnswerWaitMs = 1000;
constexpr char kShowRequest[] = "show\n";
constexpr char kShownAnswer[] = "ok\n";

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName() {
  const QString bundle = QString::fromStdString(platform::mainBundle().identifier);
  // The session's runtime folder is private to the user and emptied at logout: the right home
  // for the socket. Without one, a name of the user's own in the shared temporary folder.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime)).isDir()) {
    return QString::fromLocal8Bit(runtime) + QLatin1Char('/') + bundle + QStringLiteral(".instance");
  }
  return QStringLiteral("%1-%2").arg(bundle).arg(::getuid());
}

bool SingleInstance::claim() {
  if (server_) return true;
  if (askRunningInstance()) return false;
  return listen();
}

void SingleInstance::release() {
  if (!server_) return;
  server_->close();
  delete server_;
  server_ = nullptr;
}

bool SingleInstance::askRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(kAnswerWaitMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(kAnswerWaitMs)) return false;
  // The running instance answers once it has taken the request; a process that holds the socket
  // but does not answer (stopped, hung) does not count as running.
  while (socket.bytesAvailable() < static_cast<qint64>(sizeof(kShownAnswer) - 1)) {
    if (!socket.waitForReadyRead(kAnswerWaitMs)) return false;
  }
  return socket.readAll().startsWith(kShownAnswer);
}

bool SingleInstance::listen() {
  auto* server = new QLocalServer(this);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(name_)) {
    // Nobody answered above, so a socket file left by an instance that died is in the way.
    QLocalServer::removeServer(name_);
    if (!server->listen(name_)) {
      delete server;
      return false;
    }
  }
  connect(server, &QLocalServer::newConnection, this, [this, server] {
    while (QLocalSocket* peer = server->nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        if (!peer->canReadLine()) return;
        const QByteArray request = peer->readLine();
        if (request == kShowRequest) {
          peer->write(kShownAnswer);
          peer->flush();
          emit activationRequested();
        }
        peer->disconnectFromServer();
      });
    }
  });
  server_ = server;
  return true;
}

}  // namespace lumora
