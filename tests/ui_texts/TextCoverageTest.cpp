// Every key the interface looks up as a literal has a text in all three languages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ui_texts/TextFiles.h"

namespace lumora::test {
namespace {

std::vector<std::string> keysOf(const std::vector<KeyUse>& uses) {
  std::vector<std::string> keys;
  for (const auto& use : uses) keys.push_back(use.key);
  return keys;
}

// The scan is only as good as its reading of the three call forms; a key it misses is a key
// nobody checks.
TEST(TextKeyScan, FindsTheLiteralKeysOfEveryCallForm) {
  struct Case {
    const char* source;
    std::vector<std::string> keys;
  };
  const std::vector<Case> cases{
      {R"(Text { text: qsTrId("tips_title") })", {"tips_title"}},
      {R"(label: qsTrId('Confirm') + qsTrId( "Cancel" ))", {"Confirm", "Cancel"}},
      {R"(auto t = qtTrId("vip expired tips");)", {"vip expired tips"}},
      {R"(static const char* kTitle = QT_TRID_NOOP("Warning");)", {"Warning"}},
      {R"(qtTrId("progress：%lld/%lld").arg(1).arg(3))", {"progress：%lld/%lld"}},
      {R"(qsTrId("The \"Automatic\" option"))", {"The \"Automatic\" option"}},
      {R"(qsTrId("line\none"))", {"line\none"}},
      {R"(qtTrId("two " "parts"))", {"two parts"}},
      {"qsTrId(\n    \"on the next line\"\n)", {"on the next line"}},
      // Model values looked up at run time are not literals and cannot be checked here.
      {R"(qsTrId(model.name); qtTrId(key.toUtf8()))", {}},
      {R"(myqsTrId("not ours"); qsTrIdx("nor this"))", {}},
      {R"(qsTrId("unterminated)", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(keysOf(extractKeys(c.source, "f.qml")), c.keys) << c.source;
  }
}

TEST(TextKeyScan, NamesTheLineOfEachUse) {
  const auto uses = extractKeys("a\nb qsTrId(\"x\")\n\nqtTrId(\"y\")", "ui/Page.qml");
  ASSERT_EQ(uses.size(), 2u);
  EXPECT_EQ(uses[0].place, "ui/Page.qml:2");
  EXPECT_EQ(uses[1].place, "ui/Page.qml:4");
}

TEST(TextKeyScan, ReportsAKeyWithoutAFinishedTextOncePerLanguage) {
  Catalog complete;
  complete.path = "tarnel_en.ts";
  complete.messages.push_back({"tips_title", "Notice", "Notice", {}, 1});
  Catalog unfinished;
  unfinished.path = "tarnel_zh_CN.ts";
  unfinished.messages.push_back({"tips_title", "Notice", "提示", QStringLiteral("unfinished"), 1});
  Catalog empty;
  empty.path = "tarnel_zh_TW.ts";
  empty.messages.push_back({"tips_title", "Notice", QString(), {}, 1});

  const std::vector<KeyUse> uses{{"tips_title", "ui/A.qml:3"}, {"no such key", "app/b.cpp:9"}};
  const auto missing = missingTexts(uses, {complete, unfinished, empty});
  const std::vector<std::string> expected{
      "\"tips_title\" (ui/A.qml:3) has no text in tarnel_zh_CN.ts",
      "\"tips_title\" (ui/A.qml:3) has no text in tarnel_zh_TW.ts",
      "\"no such key\" (app/b.cpp:9) has no text in tarnel_en.ts",
      "\"no such key\" (app/b.cpp:9) has no text in tarnel_zh_CN.ts",
      "\"no such key\" (app/b.cpp:9) has no text in tarnel_zh_TW.ts",
  };
  EXPECT_EQ(missing, expected);
}

TEST(TextCoverage, EveryKeyUsedInTheInterfaceHasATextInEveryLanguage) {
  const auto catalogs = readTextFiles();
  for (const auto& catalog : catalogs) ASSERT_TRUE(catalog.error.isEmpty()) << catalog.path;
  const auto uses = scanKeys(TARNEL_SOURCE_DIR, {"ui", "app"});
  std::string report;
  for (const auto& line : missingTexts(uses, catalogs)) report += "\n  " + line;
  EXPECT_TRUE(report.empty()) << "keys without texts:" << report;
}

}  // namespace
}  // namespace lumora::test
