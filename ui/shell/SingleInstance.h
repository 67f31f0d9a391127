#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace lumora {

// One running program per user session. The first instance listens on a local socket named after
// the user and the bundle; a later launch finds it, asks it to show its window and steps aside.
//
//   SingleInstance instance(SingleInstance::defaultName());
//   if (!instance.claim()) return 0;          // the running instance was told to show itself
//   connect(&instance, &SingleInstance::activationRequested, ...);
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // The socket name for this user and bundle identifier.
  static QString defaultName();

  // True when this process is now the running instance. False when another instance answered:
  // it has been asked to show itself. A socket left by a crashed instance is taken over.
  bool claim();

  bool isPrimary() const { return server_ != nullptr; }
  // Stops answering, so a new instance started now becomes the running one.
  void release();

 signals:
  // Another launch asked this instance to show its window.
  void activationRequested();

 private:
  bool askRunningInstance();
  bool listen();

  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace lumora
