#include "ui/base/Router.h"

#include <QEasingCurve>
#include <QTimer>

#include <algorithm>

namespace lumora {

int RouteStack::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : count();
}

QVariant RouteStack::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || index.row() >= count()) return {};
  const Entry& entry = entries_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case RouteRole: return QVariant::fromValue(entry.route);
    case TitleRole: return entry.route.title();
    case NameRole: return entry.route.name();
    case EntryRole: return QVariant::fromValue(static_cast<qulonglong>(entry.id));
    case LeavingRole: return entry.leaving;
    default: return {};
  }
}

QHash<int, QByteArray> RouteStack::roleNames() const {
  return {{RouteRole, "route"}, {TitleRole, "title"}, {NameRole, "routeName"}, {EntryRole, "entryId"},
          {LeavingRole, "leaving"}};
}

void RouteStack::append(Entry entry) {
  const int row = count();
  beginInsertRows({}, row, row);
  entries_.push_back(std::move(entry));
  endInsertRows();
  emit countChanged();
}

void RouteStack::removeAt(int row) {
  if (row < 0 || row >= count()) return;
  beginRemoveRows({}, row, row);
  entries_.erase(entries_.begin() + row);
  endRemoveRows();
  emit countChanged();
}

int RouteStack::rowOf(std::uint64_t id) const {
  for (int row = 0; row < count(); ++row) {
    if (entries_[static_cast<std::size_t>(row)].id == id) return row;
  }
  return -1;
}

void RouteStack::setLeaving(int row) {
  if (row < 0 || row >= count()) return;
  entries_[static_cast<std::size_t>(row)].leaving = true;
  const QModelIndex at = index(row);
  emit dataChanged(at, at, {LeavingRole});
}

Router::Router(Route root, QObject* parent) : QObject(parent), root_(std::move(root)), stack_(new RouteStack(this)) {}

void Router::setRoot(const Route& root) {
  if (root == root_) return;
  root_ = root;
  emit rootChanged();
}

std::vector<Route> Router::stack() const {
  std::vector<Route> routes;
  for (const auto& entry : stack_->entries()) routes.push_back(entry.route);
  return routes;
}

QString Router::topTitle() const {
  return stack_->entries().empty() ? QString() : stack_->entries().back().route.title();
}

QString Router::topName() const {
  return stack_->entries().empty() ? QString() : stack_->entries().back().route.name();
}

void Router::setOffsetX(double offset) {
  if (slide_) slide_->stop();
  setOffsetNow(offset);
}

void Router::setOffsetNow(double offset) {
  if (offset == offsetX_) return;
  offsetX_ = offset;
  emit offsetXChanged();
}

void Router::slideTo(double target) {
  if (slide_) slide_->stop();
  auto* animation = new QVariantAnimation(this);
  animation->setDuration(kSlideMs);
  animation->setEasingCurve(QEasingCurve::InOutQuad);
  animation->setStartValue(offsetX_);
  animation->setEndValue(target);
  connect(animation, &QVariantAnimation::valueChanged, this,
          [this](const QVariant& value) { setOffsetNow(value.toDouble()); });
  slide_ = animation;
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void Router::push(const Route& route) {
  // A route already open moves to the top: drop every equal entry, keep the others in order.
  for (int row = stack_->count() - 1; row >= 0; --row) {
    if (stack_->entries()[static_cast<std::size_t>(row)].route == route) stack_->removeAt(row);
  }
  willBack_ = defaultWillBack();
  setOffsetX(route.kind() == Route::menu ? -kSlideWidth : kSlideWidth);
  stack_->append({nextId_++, route, false});
  emit stackChanged();
  slideTo(0);
}

void Router::leave(std::uint64_t id, bool menu) {
  slideTo(menu ? -kSlideWidth : kSlideWidth);
  QTimer::singleShot(kSlideMs, this, [this, id] {
    const int row = stack_->rowOf(id);
    if (row < 0) return;  // pushed again or replaced meanwhile: nothing of it is left to remove
    // Only the page at the top slides; if something was pushed over it meanwhile, that page's
    // own slide keeps the offset.
    if (row == stack_->count() - 1) setOffsetX(0);
    stack_->removeAt(row);
    emit stackChanged();
  });
}

void Router::back() {
  // The page to leave is the topmost one not already leaving, so two backs in one slide remove two.
  const auto& entries = stack_->entries();
  int row = static_cast<int>(entries.size()) - 1;
  while (row >= 0 && entries[static_cast<std::size_t>(row)].leaving) --row;
  if (row < 0) return;
  if (!willBack_()) return;
  const auto entry = entries[static_cast<std::size_t>(row)];
  stack_->setLeaving(row);
  leave(entry.id, entries.back().route.kind() == Route::menu);
}

void Router::backFrom(Route::Kind kind) {
  const auto& entries = stack_->entries();
  const auto standing =
      std::find_if(entries.rbegin(), entries.rend(), [](const RouteStack::Entry& entry) { return !entry.leaving; });
  if (standing == entries.rend() || standing->route.kind() != kind) return;
  back();
}

void Router::backToRoot() {
  if (stack_->count() == 0) return;
  const auto top = stack_->entries().back();
  for (int row = stack_->count() - 2; row >= 0; --row) {
    if (stack_->entries()[static_cast<std::size_t>(row)].route != top.route) stack_->removeAt(row);
  }
  stack_->setLeaving(stack_->rowOf(top.id));
  emit stackChanged();
  leave(top.id, top.route.kind() == Route::menu);
}

void Router::replaceTop(const Route& route) {
  if (stack_->count() > 0) stack_->removeAt(stack_->count() - 1);
  push(route);
}

std::optional<Route> Router::routeFrom(const QVariant& value) {
  if (value.canConvert<Route>() && value.metaType() == QMetaType::fromType<Route>()) return value.value<Route>();
  if (const auto kind = Route::kindFromName(value.toString()); kind && *kind != Route::node) return Route(*kind);
  qWarning("Router: %s is no route", qPrintable(value.toString()));
  return std::nullopt;
}

void Router::push(const QVariant& route) {
  if (auto value = routeFrom(route)) push(*value);
}

void Router::pushNode(const QString& country, const QString& title) { push(Route::nodeRoute(country, title)); }

void Router::replaceTop(const QVariant& route) {
  if (auto value = routeFrom(route)) replaceTop(*value);
}

void Router::setBackVeto(const QJSValue& veto) {
  if (!veto.isCallable()) {
    willBack_ = defaultWillBack();
    return;
  }
  willBack_ = [veto]() mutable { return veto.call().toBool(); };
}

void Router::setRootValue(const QVariant& route) {
  if (auto value = routeFrom(route)) setRoot(*value);
}

}  // namespace lumora
