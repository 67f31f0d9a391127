#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <functional>

namespace lumora::test {

// Runs the GUI thread's events until `done` holds or `ms` have passed; the result of `done`.
inline bool waitFor(const std::function<bool()>& done, int ms = 5000) {
  QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

// Runs the GUI thread's events for `ms`.
inline void spin(int ms) {
  QDeadlineTimer deadline(ms);
  while (!deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
}

}  // namespace lumora::test

#include <ostream>

#include "ui/base/Route.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace lumora {
inline void PrintTo(const Route& route, std::ostream* os) {
  *os << route.name().toStdString();
  if (route.kind() == Route::node) *os << "(" << route.country().toStdString() << ", " << route.title().toStdString() << ")";
}
}  // namespace lumora
