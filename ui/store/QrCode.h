#pragma once

#include <QImage>
#include <QString>
#include <QtQml/qqmlregistration.h>
#include <QtQuick/QQuickPaintedItem>

namespace lumora {

// The QR code of `text`'s UTF-8 bytes at error-correction level M, one pixel per module with
// the four-module quiet zone readers need; a null image for empty text or when no symbol holds it.
QImage qrCodeImage(const QString& text);

// Draws the QR code of `text` scaled to fit, square, without smoothing between modules; draws
// nothing when there is no code.
class QrCodeItem : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
  Q_PROPERTY(bool hasCode READ hasCode NOTIFY textChanged)

 public:
  explicit QrCodeItem(QQuickItem* parent = nullptr);

  QString text() const { return text_; }
  void setText(const QString& text);
  bool hasCode() const { return !image_.isNull(); }
  const QImage& image() const { return image_; }

  void paint(QPainter* painter) override;

 signals:
  void textChanged();

 private:
  QString text_;
  QImage image_;
};

}  // namespace lumora
