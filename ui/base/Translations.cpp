#include "ui/base/Translations.h"

#include <QCoreApplication>

namespace lumora {

Translations::Translations(QObject* parent, QString resourceDir)
    : QObject(parent), resourceDir_(std::move(resourceDir)) {}

QString Translations::fileFor(const QString& languageCode) {
  if (languageCode == QLatin1String("zh-Hans")) return QStringLiteral("tarnel_zh_CN");
  if (languageCode == QLatin1String("zh-Hant")) return QStringLiteral("tarnel_zh_TW");
  return QStringLiteral("tarnel_en");
}

bool Translations::setLanguage(const QString& languageCode) {
  auto next = std::make_unique<QTranslator>();
  if (!next->load(fileFor(languageCode), resourceDir_)) {
    qWarning("Translations: no texts for %s in %s", qPrintable(languageCode), qPrintable(resourceDir_));
    return false;
  }
  QCoreApplication::installTranslator(next.get());
  if (current_) QCoreApplication::removeTranslator(current_.get());
  current_ = std::move(next);
  language_ = languageCode;
  for (const auto& engine : engines_) {
    if (engine) engine->retranslate();
  }
  emit languageChanged();
  return true;
}

void Translations::addEngine(QQmlEngine* engine) { engines_.append(engine); }

}  // namespace lumora
