#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <functional>

namespace lumora::test {

// Runs the GUI thread's events until `done` holds or `ms` have passed; the result of `done`. The
// bound is for a wait that ends when the code works: what the tests wait for comes in a fraction
// of a second, also on a machine many times slower than this one; one that has not come by the
// bound never will.
inline bool waitFor(const std::function<bool()>& done, int ms = 30000) {
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
#include <vector>

#include "ui/base/Route.h"
#include "ui/base/Router.h"

namespace lumora::test {

// The pages over the root that stay: those not already on their way out.
inline std::vector<Route> standingPages(const Router& router) {
  std::vector<Route> pages;
  for (const auto& entry : router.stackModel()->entries()) {
    if (!entry.leaving) pages.push_back(entry.route);
  }
  return pages;
}

}  // namespace lumora::test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace lumora {
inline void PrintTo(const Route& route, std::ostream* os) {
  *os << route.name().toStdString();
  if (route.kind() == Route::node) *os << "(" << route.country().toStdString() << ", " << route.title().toStdString() << ")";
}
}  // namespace lumora
