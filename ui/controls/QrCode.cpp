#include "ui/controls/QrCode.h"

#include <QPainter>

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace lumora {

namespace {

constexpr int kMargin = 4;
const QColor kGradientStart(30, 72, 154);
const QColor kGradientEnd(59, 141, 255);

constexpr unsigned int kUtf8Eci = 26;

struct InputFree {
  void operator()(QRinput* input) const { QRinput_free(input); }
};
struct QrFree {
  void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

QImage qrCodeImage(const QString& text, QrColouring colouring) {
  const QByteArray bytes = text.toUtf8();
  if (bytes.isEmpty()) return {};
  // Medium error correction, the usual default of QR generators.
  const std::unique_ptr<QRinput, InputFree> input(QRinput_new2(0, QR_ECLEVEL_M));
  if (!input) return {};
  // Bytes beyond ASCII are declared UTF-8; without the declaration scanners guess another
  // character set and show a different address.
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
  if (!ascii && QRinput_appendECIheader(input.get(), kUtf8Eci) != 0) return {};
  if (QRinput_append(input.get(), QR_MODE_8, bytes.size(), reinterpret_cast<const unsigned char*>(bytes.constData())) != 0) {
    return {};
  }
  const std::unique_ptr<QRcode, QrFree> code(QRcode_encodeInput(input.get()));
  if (!code || code->width <= 0) return {};
  const int modules = code->width;
  const int side = modules + 2 * kMargin;
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(Qt::white);
  for (int y = 0; y < modules; ++y) {
    for (int x = 0; x < modules; ++x) {
      if ((code->data[y * modules + x] & 1) == 0) continue;
      if (colouring == QrColouring::black) {
        image.setPixelColor(x + kMargin, y + kMargin, Qt::black);
        continue;
      }
      // Across the whole picture from left to right, as the gradient lies under the code.
      const double t = side > 1 ? static_cast<double>(x + kMargin) / (side - 1) : 0.0;
      const QColor colour = QColor::fromRgbF(kGradientStart.redF() + t * (kGradientEnd.redF() - kGradientStart.redF()),
                                             kGradientStart.greenF() + t * (kGradientEnd.greenF() - kGradientStart.greenF()),
                                             kGradientStart.blueF() + t * (kGradientEnd.blueF() - kGradientStart.blueF()));
      image.setPixelColor(x + kMargin, y + kMargin, colour);
    }
  }
  return image;
}

QrCodeItem::QrCodeItem(QQuickItem* parent) : QQuickPaintedItem(parent) { setAntialiasing(false); }

void QrCodeItem::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  redraw();
}

void QrCodeItem::setGradient(bool gradient) {
  if (gradient == gradient_) return;
  gradient_ = gradient;
  redraw();
}

void QrCodeItem::redraw() {
  image_ = qrCodeImage(text_, gradient_ ? QrColouring::blueGradient : QrColouring::black);
  emit textChanged();
  update();
}

void QrCodeItem::paint(QPainter* painter) {
  if (image_.isNull()) return;
  painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  const double side = std::min(width(), height());
  const QRectF target((width() - side) / 2, (height() - side) / 2, side, side);
  painter->drawImage(target, image_);
}

}  // namespace lumora
