#pragma once

#include <QColor>
#include <QImage>
#include <QQuickPaintedItem>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace lumora {

// A one-colour picture (a system symbol) drawn in the colour the place asks for: the symbol's
// own shape, filled with `color`; without a colour it is drawn as it is. Scaled to fit.
class SymbolImage : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(QUrl source READ source WRITE setSource NOTIFY sourceChanged)
  Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
  Q_PROPERTY(bool ready READ ready NOTIFY readyChanged)

 public:
  explicit SymbolImage(QQuickItem* parent = nullptr);

  QUrl source() const { return source_; }
  void setSource(const QUrl& source);
  QColor color() const { return color_; }
  void setColor(const QColor& color);
  bool ready() const { return !image_.isNull(); }

  void paint(QPainter* painter) override;

 signals:
  void sourceChanged();
  void colorChanged();
  void readyChanged();

 protected:
  void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

 private:
  void reload();

  QUrl source_;
  QColor color_;
  QImage image_;
};

}  // namespace lumora
