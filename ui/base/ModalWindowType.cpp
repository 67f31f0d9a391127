#include "ui/base/ModalWindowType.h"

#include <QMetaEnum>

namespace lumora {

QString rawValue(ModalWindowType type) {
  return QString::fromLatin1(QMetaEnum::fromType<ModalWindowType>().valueToKey(type));
}

std::optional<ModalWindowType> modalWindowTypeFromRaw(const QString& raw) {
  for (auto type : kAllModalWindowTypes) {
    if (rawValue(type) == raw) return type;
  }
  return std::nullopt;
}

void ModalWindowRegistry::add(ModalWindowType type, QWindow* window) {
  auto it = windows_.find(type);
  if (it != windows_.end() && it->second && it->second != window) it->second->close();
  windows_[type] = window;
}

void ModalWindowRegistry::close(ModalWindowType type) {
  auto it = windows_.find(type);
  if (it == windows_.end()) return;
  QPointer<QWindow> window = it->second;
  windows_.erase(it);
  if (window) window->close();
}

QWindow* ModalWindowRegistry::window(ModalWindowType type) const {
  auto it = windows_.find(type);
  return it == windows_.end() ? nullptr : it->second.data();
}

int ModalWindowRegistry::openCount() const {
  int count = 0;
  for (const auto& [type, window] : windows_) {
    if (window && window->isVisible()) ++count;
  }
  return count;
}

}  // namespace lumora
