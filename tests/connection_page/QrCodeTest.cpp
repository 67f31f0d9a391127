// The mobile app page's QR code: it decodes to the address it was made from, with sharp modules.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "ui/controls/QrCode.h"

namespace lumora::test {
namespace {

QString decode(const QImage& image, const QString& folder) {
  // Scanners want more than one pixel per module; the enlargement keeps hard edges.
  const QImage large = image.scaled(image.size() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  const QString file = folder + QStringLiteral("/code.png");
  if (!large.save(file)) return QStringLiteral("<not saved>");
  QProcess zbar;
  zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
  if (!zbar.waitForFinished(20'000)) return QStringLiteral("<zbarimg did not finish>");
  return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

TEST(MobileQrCode, DecodesToTheAddressInGradientBlueOnWhite) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  for (const QString& address : {QStringLiteral("https://dl.tarnel.test/tarnel/app/zl/pc-location.html"),
                                QStringLiteral("https://下载.tarnel.test/app?lang=zh&v=2"),
                                QStringLiteral("x")}) {
    SCOPED_TRACE(address.toStdString());
    const QImage image = qrCodeImage(address, QrColouring::blueGradient);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), image.height());
    EXPECT_EQ(decode(image, folder.path()), address);

    // The margin is white; the finder pattern's corner module takes the gradient: darker on the
    // left than the top-right finder on the right.
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    const QColor left = image.pixelColor(4, 4);
    const QColor right = image.pixelColor(image.width() - 5, 4);
    EXPECT_LT(left.blue(), right.blue());
    EXPECT_LT(left.red(), right.red());
    EXPECT_GE(left.blue(), 154);
    EXPECT_LE(right.blue(), 255);
  }
}

TEST(MobileQrCode, TheItemRedrawsForANewAddressAndShowsNothingWithoutOne) {
  QrCodeItem item;
  EXPECT_FALSE(item.hasCode());
  item.setText(QStringLiteral("https://one.tarnel.test/"));
  ASSERT_TRUE(item.hasCode());
  const QImage first = item.image();
  item.setText(QStringLiteral("https://two.tarnel.test/"));
  EXPECT_NE(item.image(), first);
  item.setText(QString());
  EXPECT_FALSE(item.hasCode());
}

}  // namespace
}  // namespace lumora::test
