#include "ui/base/QtMessages.h"

#include <QString>
#include <QtGlobal>

#include <cstdlib>

#include "services/base/Logger.h"

namespace lumora {
namespace {

tarnel::LogLevel levelOf(QtMsgType type) {
  switch (type) {
    case QtDebugMsg: return tarnel::LogLevel::debug;
    case QtInfoMsg: return tarnel::LogLevel::info;
    case QtWarningMsg: return tarnel::LogLevel::warning;
    case QtCriticalMsg:
    case QtFatalMsg: return tarnel::LogLevel::error;
  }
  return tarnel::LogLevel::warning;
}

void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  const tarnel::Logger::Site site(levelOf(type), context.file ? context.file : "Qt", context.line,
                                  context.function ? context.function : "");
  tarnel::Logger::log(site, message.toStdString());
  if (type == QtFatalMsg) std::abort();
}

}  // namespace

void routeQtMessagesToConsoleLog() { qInstallMessageHandler(handle); }

}  // namespace lumora
