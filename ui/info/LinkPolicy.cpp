#include "ui/info/LinkPolicy.h"

namespace lumora {

namespace {
const QString kSystemBrowser = QStringLiteral("systembrowser");
const QString kNavigation = QStringLiteral("qnavigation");
}  // namespace

QString cleanedAddress(const QString& fullAddress) {
  QString text = fullAddress;
  text.replace(QStringLiteral("qnavigation://"), QString());
  text.replace(QStringLiteral("systembrowser://"), QString());
  text.replace(QStringLiteral("http//"), QStringLiteral("http://"));
  text.replace(QStringLiteral("https//"), QStringLiteral("https://"));
  return text;
}

bool isBrowserAddress(const QUrl& url) {
  if (!url.isValid() || url.isRelative()) return false;
  const QString scheme = url.scheme().toLower();
  return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

LinkDecision decideLink(const QUrl& url, bool linkClick) {
  if (!linkClick || url.isEmpty()) return {};
  const QString scheme = url.scheme().toLower();
  if (scheme == kSystemBrowser || scheme == kNavigation) {
    const QUrl target(cleanedAddress(url.toString(QUrl::FullyEncoded)), QUrl::StrictMode);
    // The page stays put either way; a target that is no web address opens nothing.
    if (!isBrowserAddress(target)) return {LinkAction::refuse, {}, {}};
    if (scheme == kSystemBrowser) return {LinkAction::openInBrowser, target, {}};
    const QString cleaned = target.toString(QUrl::FullyEncoded);
    QString value;
    for (const QString& piece : cleaned.split(QLatin1Char('?'))) {
      if (!piece.isEmpty()) {
        value = piece;
        break;
      }
    }
    return {LinkAction::openWhenConnected, target, value};
  }
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return {};
  return {LinkAction::refuse, {}, {}};
}

}  // namespace lumora
