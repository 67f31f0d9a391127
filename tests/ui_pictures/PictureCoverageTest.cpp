// The interface's pictures: every name the interface asks for has its file, every file is one the
// interface can ask for, every SVG is one Qt draws, every animation plays in rlottie, and the
// pictures that stand for different states do look different.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <QXmlStreamReader>

#include <rlottie.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/ui_pictures/AssetScanner.h"
#include "tests/ui_pictures/PictureCatalogue.h"

namespace fs = std::filesystem;
using namespace tarnel::test::pictures;

#if defined(__SANITIZE_THREAD__)
// Qt's raster painter hands parts of large images (and text layout) to its own pooled threads
// and joins them with futexes that ThreadSanitizer does not see (Qt is not built with it), so
// every picture drawn here would read as racing with those threads. This binary starts no thread
// of its own.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Gui.so.6\nrace:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Core.so.6\nrace:libQt6Core.so.6\n";
}
#endif

namespace {

const fs::path kSourceRoot = TARNEL_SOURCE_DIR;
const fs::path kAssets = kSourceRoot / "ui" / "base" / "assets";

// QSvgRenderer needs a GUI application for text; it lives for the whole test run.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[20] = "ui_pictures_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QGuiApplication> app_;
};
[[maybe_unused]] auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

fs::path fileOf(AssetKind kind, const std::string& name) {
  return kAssets / folderOf(kind) / (name + (kind == AssetKind::Animation ? ".json" : ".svg"));
}

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Base names (without extension) of the files of one asset folder.
std::set<std::string> filesIn(AssetKind kind) {
  std::set<std::string> names;
  const fs::path folder = kAssets / folderOf(kind);
  if (!fs::is_directory(folder)) return names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) names.insert(entry.path().stem().string());
  }
  return names;
}

QImage renderSvg(const fs::path& file, QSize size = {}) {
  QSvgRenderer renderer(QString::fromStdString(file.string()));
  if (!renderer.isValid()) return {};
  if (size.isEmpty()) size = renderer.defaultSize();
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  return image;
}

int paintedPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) count += qAlpha(line[x]) > 0;
  }
  return count;
}

// Share of pixels that differ between two pictures of the same size (a channel more than a few
// steps apart: a pale tint changing over a whole background counts).
double differingShare(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.isNull()) return 1.0;
  int differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
    const auto* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
    for (int x = 0; x < a.width(); ++x) {
      const int d = std::max({std::abs(qAlpha(la[x]) - qAlpha(lb[x])), std::abs(qRed(la[x]) - qRed(lb[x])),
                              std::abs(qGreen(la[x]) - qGreen(lb[x])), std::abs(qBlue(la[x]) - qBlue(lb[x]))});
      differing += d > 6;
    }
  }
  return double(differing) / (a.width() * a.height());
}

// ---------------------------------------------------------------------------------------------

TEST(PictureScanner, FindsLiteralNamesAndTheStartsOfBuiltNames) {
  struct Case {
    const char* source;
    std::vector<std::tuple<AssetKind, std::string, bool, int>> expected;  // kind, name, prefix, line
  };
  const std::vector<Case> cases = {
      {R"(Image { source: Assets.image("ic_auto") })", {{AssetKind::Image, "ic_auto", false, 1}}},
      {"x\nImage { source: Assets.image('ic_home_tag') }", {{AssetKind::Image, "ic_home_tag", false, 2}}},
      {R"(icon.addFile(lumora::Assets::image(QStringLiteral("ic_status_bar_") + colour + state));)",
       {{AssetKind::Image, "ic_status_bar_", true, 1}}},
      {R"(source: Assets.image("ic_device_" + platform))", {{AssetKind::Image, "ic_device_", true, 1}}},
      {R"(const auto u = Assets::symbol(u"chevron.forward"_s);)", {{AssetKind::Symbol, "chevron.forward", false, 1}}},
      {R"(Assets.symbol ( "xmark.circle" ) ; Assets.animation("ani_loop"))",
       {{AssetKind::Symbol, "xmark.circle", false, 1}, {AssetKind::Animation, "ani_loop", false, 1}}},
      {"// 中文\nAssets.animation(\"bg_ok\")", {{AssetKind::Animation, "bg_ok", false, 2}}},
      // Not a literal (a variable or a choice): left to the naming rules.
      {R"(Assets.image(name); Assets.image(on ? "a" : "b"); MyAssets.image("zzz"))", {}},
  };
  for (const auto& c : cases) {
    const auto found = findAssetReferences(c.source);
    ASSERT_EQ(found.size(), c.expected.size()) << c.source;
    for (size_t i = 0; i < found.size(); ++i) {
      const auto& [kind, name, prefix, line] = c.expected[i];
      EXPECT_EQ(found[i].kind, kind) << c.source;
      EXPECT_EQ(found[i].name, name) << c.source;
      EXPECT_EQ(found[i].isPrefix, prefix) << c.source;
      EXPECT_EQ(found[i].line, line) << c.source;
    }
  }
}

TEST(PictureCoverage, EveryNameTheInterfaceSourcesUseHasAFile) {
  ASSERT_TRUE(fs::is_directory(kSourceRoot / "ui")) << kSourceRoot;
  std::vector<std::string> missing;
  for (const char* top : {"ui", "app"}) {
    const fs::path root = kSourceRoot / top;
    if (!fs::is_directory(root)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".qml" && ext != ".cpp" && ext != ".h")) continue;
      for (const auto& ref : findAssetReferences(readText(entry.path()))) {
        const std::string where = fs::relative(entry.path(), kSourceRoot).string() + ":" + std::to_string(ref.line);
        if (ref.isPrefix) {
          const auto files = filesIn(ref.kind);
          const bool any = std::any_of(files.begin(), files.end(),
                                       [&](const std::string& f) { return f.rfind(ref.name, 0) == 0; });
          if (!any) missing.push_back(where + ": no " + folderOf(ref.kind) + " file starts with \"" + ref.name + "\"");
        } else if (!fs::is_regular_file(fileOf(ref.kind, ref.name))) {
          missing.push_back(where + ": " + fs::relative(fileOf(ref.kind, ref.name), kSourceRoot).string());
        }
      }
    }
  }
  std::string report;
  for (const auto& m : missing) report += "\n  " + m;
  EXPECT_TRUE(missing.empty()) << "pictures named in the sources without a file:" << report;
}

TEST(PictureCoverage, EveryNameTheNamingRulesBuildHasAFile) {
  std::string report;
  for (const auto& name : fixedImageNames()) {
    if (!fs::is_regular_file(fileOf(AssetKind::Image, name))) report += "\n  " + name;
  }
  for (const auto& rule : imageNamingRules()) {
    for (const auto& name : rule.names) {
      if (!fs::is_regular_file(fileOf(AssetKind::Image, name))) report += "\n  " + name + "  (" + rule.rule + ")";
    }
  }
  for (const auto& name : symbolNames()) {
    if (!fs::is_regular_file(fileOf(AssetKind::Symbol, name))) report += "\n  symbol " + name;
  }
  for (const auto& name : animationNames()) {
    if (!fs::is_regular_file(fileOf(AssetKind::Animation, name))) report += "\n  animation " + name;
  }
  EXPECT_TRUE(report.empty()) << "pictures without a file:" << report;
}

// A file no name can reach is a misspelt name (its real name is then missing) or a leftover.
TEST(PictureCoverage, EveryFileIsOneTheInterfaceCanAskFor) {
  const std::vector<std::pair<AssetKind, std::vector<std::string>>> known = {
      {AssetKind::Image, allImageNames()}, {AssetKind::Symbol, symbolNames()}, {AssetKind::Animation, animationNames()}};
  std::string report;
  for (const auto& [kind, names] : known) {
    const std::set<std::string> wanted(names.begin(), names.end());
    for (const auto& file : filesIn(kind)) {
      if (!wanted.count(file)) report += std::string("\n  ") + folderOf(kind) + "/" + file;
    }
  }
  EXPECT_TRUE(report.empty()) << "files no picture name leads to:" << report;
}

// ---------------------------------------------------------------------------------------------

TEST(PictureFiles, EverySvgHasAViewBoxAndQtDrawsIt) {
  // Elements Qt's SVG renderer skips without a word: a picture using them would look wrong.
  const std::set<QString> unsupported = {"mask", "clipPath", "filter", "pattern", "foreignObject", "marker"};
  int checked = 0;
  for (const AssetKind kind : {AssetKind::Image, AssetKind::Symbol}) {
    for (const auto& name : filesIn(kind)) {
      const fs::path file = fileOf(kind, name);
      SCOPED_TRACE(file.string());
      ++checked;
      QFile f(QString::fromStdString(file.string()));
      ASSERT_TRUE(f.open(QIODevice::ReadOnly));
      QXmlStreamReader xml(&f);
      bool sawRoot = false;
      while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (!sawRoot) {
          sawRoot = true;
          EXPECT_EQ(xml.name(), QStringLiteral("svg"));
          EXPECT_EQ(xml.namespaceUri(), QStringLiteral("http://www.w3.org/2000/svg"));
          const auto box = xml.attributes().value(QStringLiteral("viewBox")).toString().split(
              QLatin1Char(' '), Qt::SkipEmptyParts);
          ASSERT_EQ(box.size(), 4) << "viewBox";
          EXPECT_GT(box[2].toDouble(), 0);
          EXPECT_GT(box[3].toDouble(), 0);
        }
        EXPECT_FALSE(unsupported.count(xml.name().toString())) << "uses <" << xml.name().toString().toStdString() << ">";
      }
      EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line " << xml.lineNumber();
      EXPECT_TRUE(sawRoot);

      const QImage image = renderSvg(file);
      ASSERT_FALSE(image.isNull()) << "Qt cannot read it";
      EXPECT_GT(paintedPixels(image), image.width() * image.height() / 50) << "draws (almost) nothing";
    }
  }
  EXPECT_GE(checked, int(allImageNames().size() + symbolNames().size()));
}

TEST(PictureFiles, ShapesFitTheSpaceTheirPlacesGive) {
  struct Case {
    std::string name;
    double width, height;  // the proportion the place draws it in
  };
  const std::vector<Case> cases = {
      {"ic_status_bar_white_connected", 22, 22}, {"ic_status_bar_black_disconnect", 22, 22},
      {"ic_bg_share", 400, 660},                 {"ic_phone_bg", 400, 660},
      {"ic_phone", 400, 660},                    {"ic_home_tag", 35, 28},
      {"ic_auto", 35, 28},                       {"ic_home_route_bg", 120, 40},
      {"ic_notice_readed", 50, 50},              {"ic_notice_unread", 50, 50},
  };
  for (const auto& c : cases) {
    QSvgRenderer renderer(QString::fromStdString(fileOf(AssetKind::Image, c.name).string()));
    ASSERT_TRUE(renderer.isValid()) << c.name;
    const QRectF box = renderer.viewBoxF();
    EXPECT_NEAR(box.width() / box.height(), c.width / c.height, 0.02) << c.name;
  }
}

TEST(PictureFiles, TrayIconsAreOneColourEachAndTellConnectedFromDisconnected) {
  auto load = [](const std::string& colour, const std::string& state) {
    return renderSvg(fileOf(AssetKind::Image, "ic_status_bar_" + colour + "_" + state), {44, 44});
  };
  // The colour in the name is the appearance of the panel the icon sits on ("black" for a dark
  // panel), so the glyph is the opposite: dark on "white", light on "black".
  for (const std::string colour : {"white", "black"}) {
    const int wanted = colour == "white" ? 0 : 255;
    for (const std::string state : {"connected", "disconnect"}) {
      const QImage icon = load(colour, state).convertToFormat(QImage::Format_ARGB32);
      SCOPED_TRACE(colour + "_" + state);
      ASSERT_FALSE(icon.isNull());
      int off = 0;
      for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
          const QColor c = QColor::fromRgba(icon.pixel(x, y));
          if (c.alpha() > 64 && (std::abs(c.red() - wanted) > 40 || std::abs(c.green() - wanted) > 40 ||
                                 std::abs(c.blue() - wanted) > 40)) {
            ++off;
          }
        }
      }
      EXPECT_EQ(off, 0) << "pixels of another colour";
    }
    EXPECT_GT(differingShare(load(colour, "connected"), load(colour, "disconnect")), 0.15)
        << colour << ": the two states look alike";
  }
}

// Pictures that stand for different states or platforms must not be copies of each other.
TEST(PictureFiles, EachChoiceDrawsItsStatesDifferently) {
  std::vector<std::vector<std::string>> sets;
  for (const auto& rule : imageNamingRules()) {
    if (rule.rule.rfind("tray icon", 0) == 0 || rule.rule.rfind("tunnel tips", 0) == 0) continue;
    if (rule.rule.rfind("protocol row", 0) == 0 || rule.rule.rfind("routing and running", 0) == 0) {
      for (size_t i = 0; i + 1 < rule.names.size(); i += 2) sets.push_back({rule.names[i], rule.names[i + 1]});
      continue;
    }
    sets.push_back(rule.names);
  }
  ASSERT_GT(sets.size(), 10u);
  for (const auto& names : sets) {
    for (size_t i = 0; i < names.size(); ++i) {
      for (size_t j = i + 1; j < names.size(); ++j) {
        const QImage a = renderSvg(fileOf(AssetKind::Image, names[i]), {48, 48});
        const QImage b = renderSvg(fileOf(AssetKind::Image, names[j]), {48, 48});
        EXPECT_GT(differingShare(a, b), 0.03) << names[i] << " and " << names[j] << " look alike";
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------

struct LoadedAnimation {
  std::unique_ptr<rlottie::Animation> animation;
  size_t width = 0, height = 0;

  QImage frame(size_t n) const {
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    rlottie::Surface surface(reinterpret_cast<uint32_t*>(image.bits()), width, height, size_t(image.bytesPerLine()));
    animation->renderSync(n, surface);
    return image;
  }
  size_t frames() const { return animation->totalFrame(); }
  QImage last() const { return frame(frames() - 1); }
  // The largest change from one frame to the next within [from, to).
  double largestStep(size_t from, size_t to) const {
    double largest = 0;
    QImage previous = frame(from);
    for (size_t n = from + 1; n < to; ++n) {
      QImage current = frame(n);
      largest = std::max(largest, differingShare(previous, current));
      previous = std::move(current);
    }
    return largest;
  }
};

LoadedAnimation loadAnimation(const std::string& name) {
  LoadedAnimation loaded;
  loaded.animation = rlottie::Animation::loadFromFile(fileOf(AssetKind::Animation, name).string(), false);
  if (loaded.animation) loaded.animation->size(loaded.width, loaded.height);
  return loaded;
}

TEST(Animations, EachLoadsInRlottieAtItsDeclaredSizeAndDraws) {
  for (const auto& name : animationNames()) {
    SCOPED_TRACE(name);
    const QByteArray json = QByteArray::fromStdString(readText(fileOf(AssetKind::Animation, name)));
    QJsonParseError error{};
    const QJsonObject doc = QJsonDocument::fromJson(json, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    for (const char* key : {"v", "fr", "ip", "op", "w", "h", "layers"}) EXPECT_TRUE(doc.contains(key)) << key;

    const LoadedAnimation loaded = loadAnimation(name);
    ASSERT_TRUE(loaded.animation) << "rlottie cannot load it";
    EXPECT_EQ(loaded.width, size_t(doc["w"].toInt()));
    EXPECT_EQ(loaded.height, size_t(doc["h"].toInt()));
    EXPECT_DOUBLE_EQ(loaded.animation->frameRate(), doc["fr"].toDouble());
    EXPECT_EQ(loaded.frames(), size_t(doc["op"].toInt() - doc["ip"].toInt()));
    ASSERT_GT(loaded.frames(), 1u);
    for (size_t n : {size_t(0), loaded.frames() / 2, loaded.frames() - 1}) {
      EXPECT_GT(paintedPixels(loaded.frame(n)), 0) << "frame " << n << " is empty";
    }
    double change = 0;
    for (size_t n : {loaded.frames() / 4, loaded.frames() / 2, 3 * loaded.frames() / 4}) {
      change = std::max(change, differingShare(loaded.frame(0), loaded.frame(n)));
    }
    EXPECT_GT(change, 0.001) << "nothing moves";
  }
}

// A repeated segment starts again right after its last frame: the jump back must be no larger
// than an ordinary step between two frames.
TEST(Animations, LoopsWrapWithoutAJump) {
  for (const std::string name : {"ani_loop", "ani_closeloop", "loading"}) {
    SCOPED_TRACE(name);
    const LoadedAnimation loop = loadAnimation(name);
    ASSERT_TRUE(loop.animation);
    const double step = loop.largestStep(0, loop.frames());
    EXPECT_LE(differingShare(loop.last(), loop.frame(0)), step * 1.25 + 0.001);
  }
}

// The home page plays the segments one after another; each must pick up where the one before
// stopped, or the button and the background flicker between segments.
TEST(Animations, EachSegmentStartsWhereTheOneBeforeItStopped) {
  const std::vector<std::pair<std::string, std::string>> chain = {
      {"ani_no", "ani_show"},          {"ani_show", "ani_loop"},  {"ani_loop", "ani_end"},
      {"ani_end", "ani_yes"},          {"ani_yes", "ani_close"},  {"ani_close", "ani_closeloop"},
      {"ani_closeloop", "ani_closeend"}, {"ani_closeend", "ani_no"}, {"bg_black", "bg_ok"},
      {"bg_ok", "bg_blue"},            {"bg_blue", "bg_close"},   {"bg_close", "bg_black"},
  };
  for (const auto& [before, after] : chain) {
    SCOPED_TRACE(before + " -> " + after);
    const LoadedAnimation a = loadAnimation(before);
    const LoadedAnimation b = loadAnimation(after);
    ASSERT_TRUE(a.animation && b.animation);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    const double ordinary = std::max(a.largestStep(a.frames() - 2, a.frames()), b.largestStep(0, 2));
    EXPECT_LE(differingShare(a.last(), b.frame(0)), ordinary * 1.5 + 0.002);
  }
}

}  // namespace
