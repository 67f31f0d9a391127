#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <optional>

#include "services/model/RuleModels.h"

namespace lumora {

class AdvancedSettings;

// The proxy rules editor's working copy of the three lists and its back check, which is the
// save: leaving with nothing changed closes at once; an entry the engine cannot route or a list
// over the size limit keeps the page with an error toast; any other change is sent to the
// service and the page closes when the service took it. One per page. GUI thread only.
class ProxyRulesModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString direct READ direct WRITE setDirect NOTIFY directChanged)
  Q_PROPERTY(QString proxy READ proxy WRITE setProxy NOTIFY proxyChanged)
  Q_PROPERTY(QString block READ block WRITE setBlock NOTIFY blockChanged)

 public:
  // The longest JSON text of one list the service takes, in characters.
  static constexpr int kMaxListJsonLength = 4096;

  // QML: the installed AdvancedSettings.
  explicit ProxyRulesModel(QObject* parent = nullptr);
  ProxyRulesModel(AdvancedSettings* context, QObject* parent);

  QString direct() const { return direct_; }
  void setDirect(const QString& text);
  QString proxy() const { return proxy_; }
  void setProxy(const QString& text);
  QString block() const { return block_; }
  void setBlock(const QString& text);

  // The page is shown: its back check guards the way out.
  Q_INVOKABLE void appear();
  // The back check: true lets the page go now; false keeps it (an error was shown, or the save
  // is under way and closes the page itself when it succeeds).
  bool saveRules();

  // The entries of an edited text: one per line as typed, blank lines dropped, a repeated
  // entry kept only where it first appears, so an unchanged list reads back unchanged.
  static QStringList entriesOf(const QString& text);
  // The first entry of the proxy, then the direct, then the block list the engine cannot route.
  static std::optional<QString> firstInvalid(const tarnel::ProxyRule& rule);
  // Length in characters of a list's JSON text, as the service counts it.
  static int jsonLength(const QStringList& entries);

 signals:
  void directChanged();
  void proxyChanged();
  void blockChanged();

 private:
  AdvancedSettings* context_;
  QString direct_;
  QString proxy_;
  QString block_;
  bool saving_ = false;
};

}  // namespace lumora
