// The three text files themselves: complete, in step with each other, and with the arguments
// the code fills in.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

#include "tests/ui_texts/TextFiles.h"

namespace lumora::test {
namespace {

std::string numbersText(const std::vector<int>& numbers) {
  std::string out;
  for (int n : numbers) out += "%" + std::to_string(n) + " ";
  return out.empty() ? "none" : out;
}

class TextFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    catalogs_ = readTextFiles();
    for (const auto& catalog : catalogs_) {
      ASSERT_TRUE(catalog.error.isEmpty()) << catalog.path << ": " << catalog.error.toStdString();
      ASSERT_FALSE(catalog.messages.empty()) << catalog.path;
    }
  }
  std::vector<Catalog> catalogs_;
};

TEST_F(TextFilesTest, EachFileNamesItsLanguageAndHasOnlyFinishedTexts) {
  for (size_t i = 0; i < catalogs_.size(); ++i) {
    const auto& catalog = catalogs_[i];
    EXPECT_EQ(catalog.language.toStdString(), languageFiles()[i].language) << catalog.path;
    for (const auto& message : catalog.messages) {
      EXPECT_FALSE(message.id.empty()) << catalog.path << ":" << message.line;
      EXPECT_FALSE(message.source.trimmed().isEmpty()) << catalog.path << ": " << message.id;
      EXPECT_FALSE(message.translation.trimmed().isEmpty()) << catalog.path << ": " << message.id;
      EXPECT_TRUE(message.translationType.isEmpty())
          << catalog.path << ": " << message.id << " is " << message.translationType.toStdString();
    }
  }
}

// Sorted, unique ids keep hand edits reviewable and merges of the three files line up.
TEST_F(TextFilesTest, IdsAreSortedAndUnique) {
  for (const auto& catalog : catalogs_) {
    for (size_t i = 1; i < catalog.messages.size(); ++i) {
      EXPECT_LT(catalog.messages[i - 1].id, catalog.messages[i].id)
          << catalog.path << ":" << catalog.messages[i].line << " is out of order or repeated";
    }
  }
}

TEST_F(TextFilesTest, EveryLanguageHasTheSameIdsAndEnglishSources) {
  const auto& english = catalogs_.front();
  for (const auto& message : english.messages) {
    EXPECT_EQ(message.translation, message.source) << "English text and source differ for " << message.id;
  }
  for (size_t i = 1; i < catalogs_.size(); ++i) {
    const auto& other = catalogs_[i];
    for (const auto& message : english.messages) {
      const Message* same = other.find(message.id);
      if (same == nullptr) {
        ADD_FAILURE() << other.path.filename() << " lacks " << message.id;
        continue;
      }
      EXPECT_EQ(same->source, message.source) << other.path.filename() << ": source of " << message.id;
    }
    for (const auto& message : other.messages) {
      EXPECT_NE(english.find(message.id), nullptr) << other.path.filename() << " has extra " << message.id;
    }
  }
}

// The code fills a text with QString::arg: a missing %N drops a value, an extra one shows
// "%2" to the user, and a language that differs from the others breaks in that language only.
TEST_F(TextFilesTest, ArgumentsMatchTheKeyAndEachOther) {
  for (const auto& message : catalogs_.front().messages) {
    const auto expected = argumentNumbers(message.source);
    for (size_t n = 0; n < expected.size(); ++n) {
      EXPECT_EQ(expected[n], static_cast<int>(n) + 1) << message.id << " numbers its arguments with a gap";
    }
    const int conversions = formatConversions(message.id);
    if (conversions > 0) {
      EXPECT_EQ(static_cast<int>(expected.size()), conversions)
          << message.id << " is filled with " << conversions << " values but its text has " << numbersText(expected);
    }
    for (const auto& catalog : catalogs_) {
      const Message* translated = catalog.find(message.id);
      if (translated == nullptr) continue;  // reported by the id test
      EXPECT_EQ(argumentNumbers(translated->translation), expected)
          << catalog.path.filename() << ": " << message.id << " has "
          << numbersText(argumentNumbers(translated->translation)) << ", English has " << numbersText(expected);
    }
  }
}

// A text carried over character by character from the other script is the usual slip; so is a
// mainland term in the Taiwan file. The language menu names each language in its own script.
TEST_F(TextFilesTest, ChineseTextsKeepToTheirOwnScriptAndUsage) {
  const QString simplifiedOnly = QStringLiteral("网设账号装连线们这个为关开与请时后说选择检测络务启动户码级");
  const QString traditionalOnly = QStringLiteral("網設帳號裝連線們這個為關開與請時後說選擇檢測絡務啟動戶碼級");
  const QStringList mainlandTerms{QStringLiteral("網絡"), QStringLiteral("服務器"), QStringLiteral("設置"),
                                  QStringLiteral("賬號"), QStringLiteral("軟件"), QStringLiteral("視頻"),
                                  QStringLiteral("默認"), QStringLiteral("菜單"), QStringLiteral("文件夾"),
                                  QStringLiteral("鏈接"), QStringLiteral("登錄"), QStringLiteral("信息")};
  const auto isLanguageName = [](const std::string& id) { return id == "简体中文" || id == "繁體中文"; };
  const auto checkScript = [&](const Catalog& catalog, const QString& foreign) {
    for (const auto& message : catalog.messages) {
      if (isLanguageName(message.id)) continue;
      for (const QChar c : message.translation) {
        EXPECT_FALSE(foreign.contains(c)) << catalog.path.filename() << ": " << message.id << " contains "
                                          << QString(c).toStdString();
      }
    }
  };
  ASSERT_EQ(simplifiedOnly.size(), traditionalOnly.size());
  checkScript(catalogs_[1], traditionalOnly);
  checkScript(catalogs_[2], simplifiedOnly);
  for (const auto& message : catalogs_[2].messages) {
    for (const auto& term : mainlandTerms) {
      EXPECT_FALSE(message.translation.contains(term))
          << "tarnel_zh_TW.ts: " << message.id << " uses the mainland term " << term.toStdString();
    }
  }
}

}  // namespace
}  // namespace lumora::test
