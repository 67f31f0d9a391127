#pragma once

#include <QString>
#include <QUrl>

namespace lumora {

// What a click on a link inside one of our web pages does. Pages come from the service and may
// carry anything, so only http and https addresses ever leave the page for the desktop's opener.
enum class LinkAction {
  allow,             // the page navigates as usual
  openInBrowser,     // "systembrowser": the target opens in the default browser
  openWhenConnected, // "qnavigation": the VPN comes up first, then the target opens
  refuse,            // nothing happens
};

struct LinkDecision {
  LinkAction action = LinkAction::allow;
  QUrl target;         // for the two opening actions: an http(s) address
  QString eventValue;  // for "qnavigation": the target before its query, for the analytics record
};

// The link's text without our two scheme prefixes and with a missing colon after http/https put back.
QString cleanedAddress(const QString& fullAddress);

// True for an absolute http or https address with a host: the only kind the opener is handed.
bool isBrowserAddress(const QUrl& url);

// The decision for one navigation request; `linkClick` is false for loads, reloads, form
// submissions and redirects, which stay in the page. A link to any scheme but ours, http and
// https (file:, smb:, javascript:, data:, mailto: ...) is refused rather than handed on.
LinkDecision decideLink(const QUrl& url, bool linkClick);

}  // namespace lumora
