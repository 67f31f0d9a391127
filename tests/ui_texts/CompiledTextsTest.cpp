// The files as the application loads them: compiled id-based, looked up with qtTrId.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>
#include <QTranslator>

#include <memory>
#include <string>

#include "tests/ui_texts/TextFiles.h"

namespace lumora::test {
namespace {

QString compiledFile(const char* language) {
  return QStringLiteral(TARNEL_TEXTS_QM_DIR "/tarnel_%1.qm").arg(QLatin1String(language));
}

class CompiledTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "ui_texts_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QCoreApplication>(argc, argv);
  }
  void TearDown() override {
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    translator_.reset();
    app_.reset();
  }
  void use(const char* language) {
    auto next = std::make_unique<QTranslator>();
    ASSERT_TRUE(next->load(compiledFile(language))) << compiledFile(language).toStdString();
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
    ASSERT_TRUE(QCoreApplication::installTranslator(next.get()));
    translator_ = std::move(next);
  }

  std::unique_ptr<QCoreApplication> app_;
  std::unique_ptr<QTranslator> translator_;
};

TEST_F(CompiledTextsTest, LooksUpTheTextOfTheInstalledLanguage) {
  struct Case {
    const char* language;
    const char* key;
    QString expected;
  };
  const Case cases[] = {
      {"en", "initalize...", QStringLiteral("Starting…")},
      {"en", "Settings", QStringLiteral("Settings")},
      {"zh_CN", "tips_title", QStringLiteral("提示")},
      {"zh_CN", "Settings", QStringLiteral("设置")},
      {"zh_CN", "Customized DNS tips", QStringLiteral("连接时使用的 DNS 服务器。“自动选择”使用系统的解析设置。")},
      {"zh_TW", "Settings", QStringLiteral("設定")},
      {"zh_TW", "Customized DNS tips", QStringLiteral("連線時使用的 DNS 伺服器。「自動選擇」使用系統的解析設定。")},
      {"zh_TW", "The \"Automatic\" option should be left on in most cases. Please only try to specify the "
                "protocol manually if automatic is not available.",
       QStringLiteral("大多數情況下請保持「自動」。僅當自動無法使用時，再嘗試手動指定協定。")},
      // A text that is no key (a server's message) shows unchanged.
      {"zh_CN", "Account frozen by the server", QStringLiteral("Account frozen by the server")},
  };
  for (const auto& c : cases) {
    use(c.language);
    EXPECT_EQ(qtTrId(c.key), c.expected) << c.language << " " << c.key;
  }
}

TEST_F(CompiledTextsTest, FillsArgumentsInTheLanguagesOrder) {
  use("zh_CN");
  EXPECT_EQ(qtTrId("progress：%lld/%lld").arg(1).arg(3), QStringLiteral("进度：1/3"));
  EXPECT_EQ(qtTrId("%@(app_version:%lld)").arg(QStringLiteral("Linux")).arg(5), QStringLiteral("Linux（版本 5）"));
  use("en");
  EXPECT_EQ(qtTrId("%@ is not the correct domain name or IP address.").arg(QStringLiteral("a b")),
            QStringLiteral("a b is not a valid domain name or IP address."));
}

// lrelease drops what it cannot compile without failing the build; every message of every file
// must come back through the compiled file exactly as written.
TEST_F(CompiledTextsTest, EveryMessageSurvivesCompilation) {
  const auto catalogs = readTextFiles();
  for (size_t i = 0; i < catalogs.size(); ++i) {
    ASSERT_TRUE(catalogs[i].error.isEmpty()) << catalogs[i].path;
    use(languageFiles()[i].language);
    for (const auto& message : catalogs[i].messages) {
      EXPECT_EQ(qtTrId(message.id.c_str()), message.translation)
          << languageFiles()[i].language << ": " << message.id;
    }
  }
}

}  // namespace
}  // namespace lumora::test
