#pragma once

#include <QImage>
#include <QObject>
#include <QQuickPaintedItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// How the dark modules of a QR code are drawn: black, or a horizontal gradient from dark to
// light blue. Light modules and the margin are white either way.
enum class QrColouring { black, blueGradient };

// The QR code of `text`'s UTF-8 bytes at error-correction level M, one pixel per module, with the
// standard four-module light margin. A null image for empty text or when no symbol holds it.
QImage qrCodeImage(const QString& text, QrColouring colouring = QrColouring::black);

// Shows the QR code of `text` scaled to the item without smoothing, so module edges stay hard.
// Nothing is drawn when there is no code.
class QrCodeItem : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
  Q_PROPERTY(bool hasCode READ hasCode NOTIFY textChanged)
  // Dark modules in the blue gradient instead of black.
  Q_PROPERTY(bool gradient READ gradient WRITE setGradient NOTIFY textChanged)

 public:
  explicit QrCodeItem(QQuickItem* parent = nullptr);

  QString text() const { return text_; }
  void setText(const QString& text);
  bool hasCode() const { return !image_.isNull(); }
  bool gradient() const { return gradient_; }
  void setGradient(bool gradient);
  const QImage& image() const { return image_; }

  void paint(QPainter* painter) override;

 signals:
  void textChanged();

 private:
  void redraw();

  QString text_;
  bool gradient_ = false;
  QImage image_;
};

}  // namespace lumora
