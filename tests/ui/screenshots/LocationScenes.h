#pragma once

// What the review pictures of the location, node and tag pickers show: an account with
// countries and tags, a country's nodes, and flags and tag icons served on loopback (drawn
// here: coloured cards with the code), so the pictures show where the remote images sit.

#include <QColor>
#include <QHostAddress>
#include <QQuickItem>
#include <QTcpServer>
#include <QTcpSocket>

#include <string>
#include <vector>

#include "tests/ui_support/fakes/FakeServices.h"
#include "ui/base/AppStateManager.h"

namespace lumora::screenshots {

class PictureServer : public QTcpServer {
 public:
  PictureServer() {
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { answer(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

 private:
  static void answer(QTcpSocket* socket) {
    const QByteArray request = socket->readAll();
    const QByteArray path = request.split(' ').value(1);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1).replace(".svg", "");
    const quint32 hue = qHash(name) % 360;
    const QByteArray svg = QStringLiteral(
                               "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='30'>"
                               "<rect width='40' height='30' rx='3' fill='%1'/>"
                               "<text x='20' y='20' font-size='12' font-family='sans-serif' fill='white' "
                               "text-anchor='middle'>%2</text></svg>")
                               .arg(QColor::fromHsv(static_cast<int>(hue), 150, 200).name())
                               .arg(QString::fromUtf8(name))
                               .toUtf8();
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/svg+xml\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(svg.size()) + "\r\n\r\n" + svg);
    socket->disconnectFromHost();
  }
};

// The items of that name under `root`, by the visual tree: pushed pages have no object parent.
inline std::vector<QQuickItem*> itemsNamed(QQuickItem* root, const QString& name) {
  std::vector<QQuickItem*> found;
  for (QQuickItem* child : root->childItems()) {
    if (child->objectName() == name) found.push_back(child);
    const auto below = itemsNamed(child, name);
    found.insert(found.end(), below.begin(), below.end());
  }
  return found;
}

inline void prepareLocationScenes(FakeServices& fakes, AppStateManager& state, const PictureServer& pictures) {
  const std::string base = pictures.base().toStdString();
  fakes.links->script.answer<std::string>("countryIcon", base + "/flags/%@.svg");
  const auto makeTag = [&](std::int64_t id, std::string name) {
    tarnel::Tag tag;
    tag.id = id;
    tag.tag = std::move(name);
    tag.icon_new = base + "/tags/T" + std::to_string(id) + ".svg";
    return tag;
  };
  const std::vector<tarnel::Tag> tags{makeTag(1, "Streaming"), makeTag(2, "Gaming"), makeTag(3, "Low latency"),
                                      makeTag(4, "Dedicated IP")};
  fakes.status->script.answer<std::vector<tarnel::Tag>>("allTags", tags);
  const auto makeCountry = [](std::string code, std::string name, std::vector<std::int64_t> tagIds) {
    tarnel::Country country;
    country.country = std::move(code);
    country.name = std::move(name);
    country.tags = std::move(tagIds);
    return country;
  };
  tarnel::Login login = state.loginInfo();
  login.tags = tags;
  login.countries = {makeCountry("jp", "Japan", {1, 2}),           makeCountry("hk", "Hong Kong", {1, 3}),
                     makeCountry("us", "United States", {1, 2, 4}), makeCountry("de", "Germany", {2}),
                     makeCountry("sg", "Singapore", {3}),          makeCountry("gb", "United Kingdom", {1}),
                     makeCountry("kr", "South Korea", {2, 3}),     makeCountry("tw", "Taiwan", {1})};
  state.setLoginInfo(login);
  const auto makeNode = [](std::string id, std::string name, std::int64_t uptime) {
    tarnel::Node node(std::move(id), "v2ray", {}, std::move(name), "jp", 0, 2, 0);
    node.uptime = uptime;
    return node;
  };
  fakes.nodes->script.answer<std::vector<tarnel::Node>>(
      "nodesByCountry",
      {makeNode("n1", "JP-Tokyo-01", 12), makeNode("n2", "JP-Tokyo-02", 18), makeNode("n3", "JP-Osaka-01", 35),
       makeNode("n4", "Tokyo-Premium-Streaming-Dedicated-Line-07", 41), makeNode("n5", "JP-Nagoya", 64),
       makeNode("n6", "Osaka-2", 80)});
}

}  // namespace lumora::screenshots
