#include "ui/shell/ExitWatch.h"

#include <QString>
#include <QtGlobal>

#include <stdlib.h>

#include <atomic>
#include <mutex>

namespace lumora {
namespace {

// Qt 6's X11 platform prints this, in two wordings, just before it calls exit(1): from its event
// processing when the connection has an error, and from its Xlib I/O error handler.
constexpr const char* kDisplayBroke = "The X11 connection broke";

std::mutex& watchMutex() {
  static auto* mutex = new std::mutex;  // used by exit handlers: never destroyed
  return *mutex;
}

// The armed watch's action; empty while no watch is armed. Guarded by watchMutex().
ExitWatch::Leave& armed() {
  static auto* leave = new ExitWatch::Leave;
  return *leave;
}

QtMessageHandler previousHandler = nullptr;  // guarded by watchMutex()

ExitWatch::Leave armedCopy() {
  std::lock_guard lock(watchMutex());
  return armed();
}

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  QtMessageHandler previous = nullptr;
  {
    std::lock_guard lock(watchMutex());
    previous = previousHandler;
  }
  // The message is logged first, so the log says why the program leaves.
  if (previous) previous(type, context, message);
  if (type != QtWarningMsg && type != QtCriticalMsg && type != QtFatalMsg) return;
  const std::string text = message.toStdString();
  if (!ExitWatch::saysTheDisplayWentAway(text)) return;
  if (const auto leave = armedCopy()) leave(1, "the display went away (" + text + ")");
}

void onExit(int status, void*) {
  if (const auto leave = armedCopy()) {
    leave(status, "the process was ended from within, with status " + std::to_string(status));
  }
}

}  // namespace

bool ExitWatch::saysTheDisplayWentAway(const std::string& message) {
  return message.rfind(kDisplayBroke, 0) == 0;
}

ExitWatch::ExitWatch(Leave leave) {
  // Exit handlers cannot be taken back: one for the process, which acts only while a watch is armed.
  static const bool exitHandlerInstalled = ::on_exit(onExit, nullptr) == 0;
  (void)exitHandlerInstalled;
  std::lock_guard lock(watchMutex());
  armed() = std::move(leave);
  previousHandler = qInstallMessageHandler(onQtMessage);
}

ExitWatch::~ExitWatch() {
  std::lock_guard lock(watchMutex());
  armed() = nullptr;
  qInstallMessageHandler(previousHandler);
  previousHandler = nullptr;
}

}  // namespace lumora
