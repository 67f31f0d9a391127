#include "ui/base/Route.h"

#include <QHash>
#include <QtGlobal>

#include <array>

namespace lumora {

namespace {

struct RouteInfo {
  const char* name;
  const char* title;
};

// Titles are localisation keys, listed where they are used so the text-coverage scan finds them.
const std::array<RouteInfo, Route::kCount> kRoutes{{
    {"initial", ""},
    {"login", ""},
    {"main", ""},
    {"share", QT_TRID_NOOP("share")},
    {"notify", QT_TRID_NOOP("Notify")},
    {"devices", QT_TRID_NOOP("Devices Manager")},
    {"menu", QT_TRID_NOOP("personal center")},
    {"discount", QT_TRID_NOOP("voucher & discount")},
    {"mobile", QT_TRID_NOOP("mobile apps")},
    {"settings", QT_TRID_NOOP("Settings")},
    {"about", QT_TRID_NOOP("about")},
    {"shop", QT_TRID_NOOP("Membership Center")},
    {"advanced", QT_TRID_NOOP("Advanced Settings")},
    {"connection", QT_TRID_NOOP("Connection")},
    {"diagnsis", QT_TRID_NOOP("Network Diagnosis")},
    {"upgrade", QT_TRID_NOOP("Increase the number of devices")},
    {"tag", QT_TRID_NOOP("tag")},
    {"location", QT_TRID_NOOP("location")},
    {"node", ""},
    {"verify", QT_TRID_NOOP("Verify Email")},
    {"feedback", QT_TRID_NOOP("feedback")},
    {"changePWD", QT_TRID_NOOP("Change Password")},
    {"proxyRulues", QT_TRID_NOOP("Proxy Rules")},
    {"tools", QT_TRID_NOOP("Tools")},
    {"delete", QT_TRID_NOOP("delete account")},
}};

}  // namespace

Route Route::nodeRoute(QString country, QString title) {
  Route route(node);
  route.country_ = std::move(country);
  route.nodeTitle_ = std::move(title);
  return route;
}

QString Route::title() const {
  if (kind_ == node) return nodeTitle_;
  return QString::fromUtf8(kRoutes[static_cast<std::size_t>(kind_)].title);
}

QString Route::name() const { return nameOf(kind_); }

QString Route::nameOf(Kind kind) { return QString::fromUtf8(kRoutes[static_cast<std::size_t>(kind)].name); }

std::optional<Route::Kind> Route::kindFromName(const QString& name) {
  for (int i = 0; i < kCount; ++i) {
    if (name == QLatin1String(kRoutes[static_cast<std::size_t>(i)].name)) return static_cast<Kind>(i);
  }
  return std::nullopt;
}

bool Route::operator==(const Route& other) const {
  if (kind_ != other.kind_) return false;
  if (kind_ != node) return true;
  return country_ == other.country_ && nodeTitle_ == other.nodeTitle_;
}

std::size_t qHash(const Route& route, std::size_t seed) noexcept {
  seed = qHashMulti(seed, static_cast<int>(route.kind()));
  if (route.kind() == Route::node) seed = qHashMulti(seed, route.country(), route.title());
  return seed;
}

}  // namespace lumora
