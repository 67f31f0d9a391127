#include "ui/info/InfoActions.h"

#include "ui/base/AppGlobals.h"
#include "ui/base/AppStateManager.h"
#include "ui/base/SharedInstance.h"
#include "ui/info/ModalWindows.h"

namespace lumora {

InfoActions::InfoActions(InfoContext context, QString version, QString build, bool isAppStore, QObject* parent)
    : QObject(parent), context_(std::move(context)), version_(std::move(version)), build_(std::move(build)),
      isAppStore_(isAppStore) {}

InfoActions* InfoActions::create(QQmlEngine* qml, QJSEngine* js) { return SharedInstance<InfoActions>::forQml(qml, js); }

QString InfoActions::versionLine() const {
  return QStringLiteral("Ver: %1.%2.%3")
      .arg(version_, build_, isAppStore_ ? QStringLiteral("store") : QStringLiteral("official"));
}

void InfoActions::openOfficialWebsite() {
  if (context_.services.logQueue) context_.services.logQueue->event(tarnel::EventType::MENU_ABOUTUS_OFFICIAL);
  if (context_.openOfficialWebsite) context_.openOfficialWebsite();
}

void InfoActions::openFeedback() {
  if (context_.services.logQueue) context_.services.logQueue->event(tarnel::EventType::MENU_FEEDBACK);
  if (context_.state) context_.state->router()->push(Route::feedback);
}

void InfoActions::openTermsOfService() {
  if (context_.services.logQueue) context_.services.logQueue->event(tarnel::EventType::MENU_ABOUTUS_TERMSOFSERVICE);
  if (!context_.windowExists() || !context_.windows || !context_.services.links) return;
  context_.windows->openModalWindow(ModalWindowType::service, true, QStringLiteral("Terms of Service"),
                                    QString::fromStdString(context_.services.links->serviceUrl()),
                                    kMainWindowSize.width(), kMainWindowSize.height());
}

void InfoActions::openPrivacyPolicy() {
  if (context_.services.logQueue) context_.services.logQueue->event(tarnel::EventType::MENU_ABOUTUS_PRIVACYPOLICY);
  if (!context_.windowExists() || !context_.windows || !context_.services.links) return;
  context_.windows->openModalWindow(ModalWindowType::privacy, true, QStringLiteral("Privacy Policy"),
                                    QString::fromStdString(context_.services.links->privacyUrl()),
                                    kMainWindowSize.width(), kMainWindowSize.height());
}

}  // namespace lumora
