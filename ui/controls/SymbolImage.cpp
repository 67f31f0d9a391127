#include "ui/controls/SymbolImage.h"

#include <QImageReader>
#include <QPainter>

namespace lumora {

SymbolImage::SymbolImage(QQuickItem* parent) : QQuickPaintedItem(parent) {}

void SymbolImage::setSource(const QUrl& source) {
  if (source == source_) return;
  source_ = source;
  emit sourceChanged();
  reload();
}

void SymbolImage::setColor(const QColor& color) {
  if (color == color_) return;
  color_ = color;
  emit colorChanged();
  reload();
}

void SymbolImage::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
  QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
  if (newGeometry.size() != oldGeometry.size()) reload();
}

void SymbolImage::reload() {
  const bool wasReady = ready();
  image_ = QImage();
  const QString path = source_.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + source_.path()
                                                                : source_.toLocalFile();
  if (!path.isEmpty() && width() > 0 && height() > 0) {
    QImageReader reader(path);
    const QSize natural = reader.size().isValid() ? reader.size() : QSize(24, 24);
    reader.setScaledSize(natural.scaled(QSize(qCeil(width()), qCeil(height())), Qt::KeepAspectRatio));
    image_ = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!image_.isNull() && color_.isValid()) {
      QPainter tint(&image_);
      tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
      tint.fillRect(image_.rect(), color_);
    }
  }
  if (wasReady != ready()) emit readyChanged();
  update();
}

void SymbolImage::paint(QPainter* painter) {
  if (image_.isNull()) return;
  painter->drawImage(QPointF((width() - image_.width()) / 2.0, (height() - image_.height()) / 2.0), image_);
}

}  // namespace lumora
