#include "tests/ui_pictures/AssetScanner.h"

#include <QRegularExpression>
#include <QString>

#include <QStringView>

namespace tarnel::test::pictures {

std::vector<AssetReference> findAssetReferences(const std::string& text) {
  // The literal may come bare, in QStringLiteral/QLatin1String/QString(…), or as u"…" (with an
  // optional _s), in double or (QML) single quotes.
  static const QRegularExpression call(
      QStringLiteral(R"re(\bAssets\s*(?:\.|::)\s*(image|symbol|animation)\s*\(\s*)re"
                     R"re((QStringLiteral\s*\(\s*|QLatin1String\s*\(\s*|QString\s*\(\s*)?u?)re"
                     R"re((?:"([^"\\\n]*)"|'([^'\\\n]*)')(?:_s)?)re"));
  const QString source = QString::fromStdString(text);
  std::vector<AssetReference> found;
  auto it = call.globalMatch(source);
  while (it.hasNext()) {
    const auto match = it.next();
    AssetReference ref;
    const QString kind = match.captured(1);
    ref.kind = kind == QLatin1String("image")    ? AssetKind::Image
               : kind == QLatin1String("symbol") ? AssetKind::Symbol
                                                 : AssetKind::Animation;
    ref.name = (match.capturedStart(3) >= 0 ? match.captured(3) : match.captured(4)).toStdString();

    // What follows the literal decides whether it is the whole name or only its start.
    qsizetype pos = match.capturedEnd(0);
    auto skipSpace = [&] {
      while (pos < source.size() && source.at(pos).isSpace()) ++pos;
    };
    skipSpace();
    if (match.capturedStart(2) >= 0 && pos < source.size() && source.at(pos) == QLatin1Char(')')) {
      ++pos;  // the wrapper's closing parenthesis
      skipSpace();
    }
    ref.isPrefix = pos < source.size() && source.at(pos) == QLatin1Char('+');
    ref.line = 1 + static_cast<int>(QStringView(source).left(match.capturedStart(0)).count(QLatin1Char('\n')));
    found.push_back(std::move(ref));
  }
  return found;
}

const char* folderOf(AssetKind kind) {
  switch (kind) {
    case AssetKind::Image: return "images";
    case AssetKind::Symbol: return "symbols";
    case AssetKind::Animation: return "animations";
  }
  return "";
}

}  // namespace tarnel::test::pictures
