#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QString>
#include <QTranslator>

#include <memory>

namespace lumora {

// The texts of the chosen language. A switch loads the new translation first and removes the
// old one only once the new one is in, then asks every registered engine to retranslate its
// bindings. GUI thread only.
class Translations : public QObject {
  Q_OBJECT

 public:
  explicit Translations(QObject* parent = nullptr, QString resourceDir = QStringLiteral(":/i18n"));

  // The file base for a language code of the settings: "en", "zh-Hans", "zh-Hant"; anything else
  // is English.
  static QString fileFor(const QString& languageCode);

  // False (and the current texts stay) when the translation cannot be loaded.
  bool setLanguage(const QString& languageCode);
  QString language() const { return language_; }
  void addEngine(QQmlEngine* engine);

 signals:
  void languageChanged();

 private:
  QString resourceDir_;
  QString language_;
  std::unique_ptr<QTranslator> current_;
  QList<QPointer<QQmlEngine>> engines_;
};

}  // namespace lumora
