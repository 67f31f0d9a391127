#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

#include <cstddef>
#include <optional>

namespace lumora {

// Every page the main window can show. Only `node` carries data: the country code the node list
// is built for and the title shown in the header (the country's name).
class Route {
  Q_GADGET
  Q_PROPERTY(Kind kind READ kind CONSTANT)
  Q_PROPERTY(QString country READ country CONSTANT)
  Q_PROPERTY(QString title READ title CONSTANT)
  Q_PROPERTY(QString name READ name CONSTANT)

 public:
  // Declaration order is the hashing order; the misspelt case names are the system's own.
  enum Kind {
    initial,
    login,
    main,
    share,
    notify,
    devices,
    menu,
    discount,
    mobile,
    settings,
    about,
    shop,
    advanced,
    connection,
    diagnsis,
    upgrade,
    tag,
    location,
    node,
    verify,
    feedback,
    changePWD,
    proxyRulues,
    tools,
    deleteAccount,  // the case "delete" (a C++ keyword); name() spells it as the system does
  };
  Q_ENUM(Kind)
  static constexpr int kCount = 25;

  Route() = default;
  // A plain case; for `node` use nodeRoute().
  Route(Kind kind) : kind_(kind) {}  // NOLINT: routes read best as `Route::menu`
  static Route nodeRoute(QString country, QString title);

  Kind kind() const { return kind_; }
  QString country() const { return country_; }
  // Header title: a localisation key, the empty text for initial/login/main, the second text of node.
  QString title() const;
  // The case name ("diagnsis", "delete", ...).
  QString name() const;

  static QString nameOf(Kind kind);
  static std::optional<Kind> kindFromName(const QString& name);

  bool operator==(const Route& other) const;
  bool operator!=(const Route& other) const { return !(*this == other); }

 private:
  Kind kind_ = initial;
  QString country_;
  QString nodeTitle_;
};

std::size_t qHash(const Route& route, std::size_t seed = 0) noexcept;

}  // namespace lumora

Q_DECLARE_METATYPE(lumora::Route)
