#pragma once

#include <QImage>
#include <QObject>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// The QR code of `text`, one pixel per module, with the standard four-module light margin: the
// dark modules take a horizontal gradient from dark to light blue, the light ones stay white.
// A null image when the text cannot be encoded.
QImage qrCodeImage(const QString& text);

// Shows the QR code of `text` scaled to the item without smoothing, so module edges stay hard.
// Nothing is drawn when there is no code.
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
