#pragma once

#include <QAbstractListModel>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVariantAnimation>
#include <QJSValue>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/base/Route.h"

namespace lumora {

// The pages opened over the root page. Each entry has an identity of its own, so a page that is
// leaving is removed as that page, whatever was pushed meanwhile, and a view keeps the same item
// for an entry while the stack changes around it.
class RouteStack : public QAbstractListModel {
  Q_OBJECT
  QML_ANONYMOUS
  Q_PROPERTY(int count READ count NOTIFY countChanged)

 public:
  enum Role { RouteRole = Qt::UserRole + 1, TitleRole, NameRole, EntryRole, LeavingRole };
  struct Entry {
    std::uint64_t id = 0;
    Route route;
    bool leaving = false;
  };

  explicit RouteStack(QObject* parent) : QAbstractListModel(parent) {}

  int count() const { return static_cast<int>(entries_.size()); }
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QHash<int, QByteArray> roleNames() const override;

  const std::vector<Entry>& entries() const { return entries_; }
  void append(Entry entry);
  void removeAt(int row);
  // Row of the entry with this identity, -1 when it is gone.
  int rowOf(std::uint64_t id) const;
  void setLeaving(int row);

 signals:
  void countChanged();

 private:
  std::vector<Entry> entries_;
};

// The navigation state of the main window: a root page, a stack of pages over it, and the
// horizontal offset of the top page while it slides. GUI thread only.
class Router : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("the router belongs to the app state")
  Q_PROPERTY(QVariant root READ rootValue WRITE setRootValue NOTIFY rootChanged)
  Q_PROPERTY(QString rootName READ rootName NOTIFY rootChanged)
  Q_PROPERTY(RouteStack* stack READ stackModel CONSTANT)
  Q_PROPERTY(int depth READ depth NOTIFY stackChanged)
  Q_PROPERTY(QString topTitle READ topTitle NOTIFY stackChanged)
  Q_PROPERTY(QString topName READ topName NOTIFY stackChanged)
  Q_PROPERTY(double offsetX READ offsetX WRITE setOffsetX NOTIFY offsetXChanged)

 public:
  using Veto = std::function<bool()>;
  // Duration of every slide in milliseconds, and its distance: the main window's width.
  static constexpr int kSlideMs = 350;
  static constexpr double kSlideWidth = 400.0;

  explicit Router(Route root, QObject* parent = nullptr);

  Route root() const { return root_; }
  void setRoot(const Route& root);
  std::vector<Route> stack() const;
  double offsetX() const { return offsetX_; }
  void setOffsetX(double offset);
  RouteStack* stackModel() const { return stack_; }
  int depth() const { return stack_->count(); }
  QString topTitle() const;
  QString topName() const;

  // The back veto, asked by back(); every push puts the default (always yes) back.
  void setWillBack(Veto veto) { willBack_ = veto ? std::move(veto) : defaultWillBack(); }
  static Veto defaultWillBack() { return [] { return true; }; }

  void push(const Route& route);
  void push(Route::Kind kind) { push(Route(kind)); }
  void back();
  // Goes back from the page of `kind` only while it is the topmost page not already leaving: an
  // answer that comes after the user left that page, or opened another over it, closes nothing.
  void backFrom(Route::Kind kind);
  void backToRoot();
  // Drops the top entry at once (no slide), then pushes `route` in its place.
  void replaceTop(const Route& route);
  void replaceTop(Route::Kind kind) { replaceTop(Route(kind)); }

  // QML: a route value, or a case name ("settings"); node pages through pushNode.
  Q_INVOKABLE void push(const QVariant& route);
  Q_INVOKABLE void pushNode(const QString& country, const QString& title);
  Q_INVOKABLE void replaceTop(const QVariant& route);
  Q_INVOKABLE void goBack() { back(); }
  Q_INVOKABLE void goBackToRoot() { backToRoot(); }
  // A page on top may refuse going back; a JS function returning a Bool, or null for the default.
  Q_INVOKABLE void setBackVeto(const QJSValue& veto);

  QVariant rootValue() const { return QVariant::fromValue(root_); }
  void setRootValue(const QVariant& route);
  QString rootName() const { return root_.name(); }

 signals:
  void rootChanged();
  void stackChanged();
  void offsetXChanged();

 private:
  static std::optional<Route> routeFrom(const QVariant& value);
  void slideTo(double target);
  void setOffsetNow(double offset);
  // Slides the top page out and removes entry `id` when the slide is over.
  void leave(std::uint64_t id, bool menu);

  Route root_;
  RouteStack* stack_;
  double offsetX_ = 0;
  Veto willBack_ = defaultWillBack();
  std::uint64_t nextId_ = 1;
  QPointer<QVariantAnimation> slide_;
};

}  // namespace lumora
