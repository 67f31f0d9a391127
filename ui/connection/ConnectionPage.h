#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <vector>

#include "services/base/VPNProtocol.h"
#include "ui/connection/ConnectionContext.h"
#include "ui/connection/SystemExtensionRequest.h"

namespace lumora {

// The connection settings page: working copies of the routing mode, the protocol and the
// running mode, written to the app state only when the user leaves the page; leaving with
// changes while connected asks first whether to reconnect. Choosing tunnel mode activates it
// first, except in store builds. GUI thread only.
class ConnectionPage : public QObject {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(bool smartRoute READ smartRoute NOTIFY smartRouteChanged)
  Q_PROPERTY(bool tunnelMode READ tunnelMode NOTIFY tunnelModeChanged)
  Q_PROPERTY(QString connectProtocol READ connectProtocol NOTIFY connectProtocolChanged)
  // [{raw, name, icon}]: automatic first, then the protocols the service offers.
  Q_PROPERTY(QVariantList protocols READ protocolList CONSTANT)

 public:
  // Built by QML: the installed context.
  explicit ConnectionPage(QObject* parent = nullptr);
  ConnectionPage(ConnectionContext context, QObject* parent);

  bool smartRoute() const { return smartRoute_; }
  bool tunnelMode() const { return tunnelMode_; }
  QString connectProtocol() const;
  tarnel::VPNProtocol protocol() const { return connectProtocol_; }
  const std::vector<tarnel::VPNProtocol>& protocols() const { return protocols_; }
  QVariantList protocolList() const;
  SystemExtensionRequest& systemExtension() { return *systemExtension_; }

  // The page is shown: it installs its leave check as the router's back veto.
  Q_INVOKABLE void appear();
  // Row taps.
  Q_INVOKABLE void chooseSmartRoute(bool smart);
  Q_INVOKABLE void chooseProtocol(const QString& raw);
  Q_INVOKABLE void chooseNormalMode();
  Q_INVOKABLE void chooseTunnelMode();

  // The back veto: true lets the router go back.
  bool leaveCheck();
  // Writes the working copies to the app state.
  void apply();
  // The buttons of the "setting change tips" dialog.
  void reconnectNow();
  void notNow();

 signals:
  void smartRouteChanged();
  void tunnelModeChanged();
  void connectProtocolChanged();

 private:
  void setTunnelMode(bool on);
  bool changed() const;
  void allowLeaving();

  ConnectionContext context_;
  SystemExtensionRequest* systemExtension_;
  bool smartRoute_ = true;
  bool tunnelMode_ = false;
  tarnel::VPNProtocol connectProtocol_ = tarnel::VPNProtocol::AUTO;
  std::vector<tarnel::VPNProtocol> protocols_;
};

}  // namespace lumora
