#include "ui/base/Assets.h"

namespace lumora {

QUrl Assets::image(const QString& name) { return QUrl(QStringLiteral("qrc:/assets/images/%1.svg").arg(name)); }

QUrl Assets::symbol(const QString& name) { return QUrl(QStringLiteral("qrc:/assets/symbols/%1.svg").arg(name)); }

QUrl Assets::animation(const QString& name) { return QUrl(QStringLiteral("qrc:/assets/animations/%1.json").arg(name)); }

QString Assets::animationPath(const QString& name) { return QStringLiteral(":/assets/animations/%1.json").arg(name); }

}  // namespace lumora
