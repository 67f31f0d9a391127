#pragma once

#include <QJSEngine>
#include <QQmlEngine>

#include <atomic>

namespace lumora {

// The process-wide instance of a state object that QML reaches as a singleton. The composition
// root (or a test) builds the object and installs it; QML's create() hands out that object and
// never a second one, so the class must not be default-constructible.
template <class T>
class SharedInstance {
 public:
  static T* get() { return instance().load(std::memory_order_acquire); }
  static void install(T* object) { instance().store(object, std::memory_order_release); }
  // Clears the slot only when it still holds `object` (a test's instance going away).
  static void uninstall(T* object) {
    T* expected = object;
    instance().compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  }
  static T* forQml(QQmlEngine*, QJSEngine*) {
    T* object = get();
    if (object) QJSEngine::setObjectOwnership(object, QJSEngine::CppOwnership);
    return object;
  }

 private:
  static std::atomic<T*>& instance() {
    static std::atomic<T*> slot{nullptr};
    return slot;
  }
};

}  // namespace lumora
