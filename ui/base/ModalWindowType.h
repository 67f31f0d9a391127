#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>
#include <QtQml/qqmlregistration.h>

#include <array>
#include <map>
#include <optional>

namespace lumora {

// The kinds of the application's separate windows; at most one window of a kind is open.
class ModalWindowKind : public QObject {
  Q_OBJECT
  QML_NAMED_ELEMENT(ModalWindowType)
  QML_UNCREATABLE("an enumeration")

 public:
  enum Value { pay, custom, systemExtension, other, privacy, service, notice, navi, shareHelp, shareRewards, clipboard };
  Q_ENUM(Value)
};
using ModalWindowType = ModalWindowKind::Value;

inline constexpr std::array<ModalWindowType, 11> kAllModalWindowTypes{
    ModalWindowType::pay,     ModalWindowType::custom, ModalWindowType::systemExtension, ModalWindowType::other,
    ModalWindowType::privacy, ModalWindowType::service, ModalWindowType::notice,         ModalWindowType::navi,
    ModalWindowType::shareHelp, ModalWindowType::shareRewards, ModalWindowType::clipboard,
};

// The raw value is the case name; from a raw value: exact, case-sensitive.
QString rawValue(ModalWindowType type);
std::optional<ModalWindowType> modalWindowTypeFromRaw(const QString& raw);

// The open separate windows by kind. Registering a window closes the one of its kind that is
// open; closing by kind closes and forgets it. The registry never owns a window beyond that:
// a window that goes away by itself drops out. GUI thread only.
class ModalWindowRegistry : public QObject {
  Q_OBJECT

 public:
  explicit ModalWindowRegistry(QObject* parent = nullptr) : QObject(parent) {}

  void add(ModalWindowType type, QWindow* window);
  void close(ModalWindowType type);
  QWindow* window(ModalWindowType type) const;
  int openCount() const;

 private:
  std::map<ModalWindowType, QPointer<QWindow>> windows_;
};

}  // namespace lumora
