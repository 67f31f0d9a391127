#pragma once

#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <set>
#include <vector>

namespace lumora {

// The one loading overlay of the window, shared by every task that waits. Each show hands out a
// ticket; the overlay stays while any ticket is held, so one task's hide never uncovers another
// task that still waits. The label is that of the latest ticket still held. GUI thread only;
// other threads use showLoading()/hideLoading().
class LoadingManager : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON
  Q_PROPERTY(QString message READ message NOTIFY messageChanged)
  Q_PROPERTY(bool isShowing READ isShowing NOTIFY isShowingChanged)

 public:
  using Ticket = std::uint64_t;

  explicit LoadingManager(QObject* parent);
  static LoadingManager* create(QQmlEngine* qml, QJSEngine* js);

  QString message() const { return message_; }
  bool isShowing() const { return !held_.empty(); }

  // A ticket number no other show has (any thread may draw one).
  static Ticket newTicket();
  // Shows the overlay with `message` (a localisation key) under `ticket`. A ticket already hidden
  // (its hide overtook its show on the way to this thread) shows nothing.
  void show(Ticket ticket, const QString& message);
  void hide(Ticket ticket);

  // QML: show returns the ticket to hand back to hide.
  Q_INVOKABLE double show(const QString& message);
  Q_INVOKABLE void hide(double ticket) { hide(static_cast<Ticket>(ticket)); }

 signals:
  void messageChanged();
  void isShowingChanged();

 private:
  struct Held {
    Ticket ticket;
    QString message;
  };
  void setMessage(const QString& message);

  std::vector<Held> held_;
  std::set<Ticket> hiddenEarly_;
  QString message_;
};

}  // namespace lumora
