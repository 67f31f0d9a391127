#pragma once

// The GUI thread never waits for the disk: with this check installed, a write, fsync or rename of
// the settings file made on the GUI thread fails the test that runs.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/UserDefaults.h"

namespace lumora::test {

inline const char* fileChangeName(platform::FileChange change) {
  switch (change) {
    case platform::FileChange::write:
      return "write";
    case platform::FileChange::sync:
      return "fsync";
    case platform::FileChange::rename:
      return "rename";
  }
  return "change";
}

inline bool onGuiThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

// Installs the check for the process's settings file (call it once the test's home is set).
inline void failOnGuiThreadSettingsWrites() {
  platform::setFileChangeObserverForTesting(
      [file = platform::UserDefaults::standard().file()](platform::FileChange change, const std::filesystem::path& about) {
        if (about == file && onGuiThread()) {
          ADD_FAILURE() << "the settings file got a " << fileChangeName(change) << " on the GUI thread";
        }
      });
}

}  // namespace lumora::test
