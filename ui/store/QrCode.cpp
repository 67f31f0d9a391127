#include "ui/store/QrCode.h"

#include <QPainter>

#include <algorithm>
#include <memory>

#include <qrencode.h>

namespace lumora {

namespace {
constexpr int kQuietZone = 4;
struct QrFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};
}  // namespace

QImage qrCodeImage(const QString& text) {
  if (text.isEmpty()) return {};
  const QByteArray bytes = text.toUtf8();
  std::unique_ptr<QRcode, QrFree> code(QRcode_encodeData(static_cast<int>(bytes.size()),
                                                         reinterpret_cast<const unsigned char*>(bytes.constData()),
                                                         0, QR_ECLEVEL_M));
  if (!code) return {};
  const int modules = code->width;
  const int side = modules + 2 * kQuietZone;
  QImage image(side, side, QImage::Format_Grayscale8);
  image.fill(255);
  for (int y = 0; y < modules; ++y) {
    uchar* line = image.scanLine(y + kQuietZone);
    for (int x = 0; x < modules; ++x) {
      // The lowest bit of each module's byte is its colour: 1 dark.
      if (code->data[y * modules + x] & 1) line[x + kQuietZone] = 0;
    }
  }
  return image;
}

QrCodeItem::QrCodeItem(QQuickItem* parent) : QQuickPaintedItem(parent) { setAntialiasing(false); }

void QrCodeItem::setText(const QString& text) {
  if (text_ == text) return;
  text_ = text;
  image_ = qrCodeImage(text_);
  emit textChanged();
  update();
}

void QrCodeItem::paint(QPainter* painter) {
  if (image_.isNull()) return;
  const qreal side = std::min(width(), height());
  const QRectF target((width() - side) / 2, (height() - side) / 2, side, side);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter->drawImage(target, image_);
}

}  // namespace lumora
