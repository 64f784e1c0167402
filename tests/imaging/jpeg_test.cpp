// Bitmap attachments re-encoded as JPEG through Qt: the kinds of bitmap the conversion treats
// apart (kept as read, colour palette or alpha converted, grey palette kept grey).
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <filesystem>
#include <string>

#include "platform/imaging/qt/qt_image_converter.h"
#include "support_code/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using lorva::testing::TempFolder;

constexpr int kWidth = 13;  // odd, so bitmap rows need padding
constexpr int kHeight = 7;

// A bitmap file of `top` over `bottom` (rows 0 to 2 and the rest) in `format`.
std::string SavedBitmap(const TempFolder& dir, QImage::Format format, QRgb top, QRgb bottom) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32);
  image.fill(bottom);
  for (int x = 0; x < kWidth * 3; ++x) image.setPixel(x % kWidth, x / kWidth, top);
  const std::string path = dir / "source.bmp";
  const bool palette = format == QImage::Format_Indexed8;
  (palette ? image.convertToFormat(format, {top, bottom}) : image.convertToFormat(format))
      .save(QString::fromStdString(path), "BMP");
  return path;
}

// Quality 90 baseline: the quantisation tables of a quality-90 JPEG (libjpeg's scaling of the
// standard tables) start with 3, 2, 2 for luminance; a baseline image has a start-of-frame 0
// marker.
TEST(JpegConversion, EveryKindOfBitmapBecomesABaselineJpegOfTheSameSizeAndPicture) {
  const struct {
    const char* what;
    QImage::Format format;
    QRgb top, bottom;
    bool grey;
  } cases[] = {
      {"24-bit colour", QImage::Format_RGB32, qRgb(255, 0, 0), qRgb(0, 0, 255), false},
      {"8-bit colour palette", QImage::Format_Indexed8, qRgb(255, 0, 0), qRgb(0, 0, 255), false},
      {"32-bit with alpha", QImage::Format_ARGB32, qRgba(255, 0, 0, 96), qRgb(0, 0, 255), false},
      {"8-bit grey palette", QImage::Format_Indexed8, qRgb(230, 230, 230), qRgb(20, 20, 20), true},
  };
  lorva::platform::QtImageConverter converter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder dir;
    const std::string source = SavedBitmap(dir, c.format, c.top, c.bottom);
    converter.ConvertToJpeg(source, dir / "target.jpg", 90);

    EXPECT_TRUE(fs::exists(source)) << "the source stays in place";
    QImageReader reader(QString::fromStdString(dir / "target.jpg"));
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage jpeg = reader.read();
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(jpeg.format() == QImage::Format_Grayscale8, c.grey);
    for (const auto& [actual, expected] :
         {std::pair{jpeg.pixel(6, 0), c.top}, std::pair{jpeg.pixel(6, kHeight - 1), c.bottom}}) {
      EXPECT_NEAR(qRed(actual), qRed(expected), 48);
      EXPECT_NEAR(qGreen(actual), qGreen(expected), 48);
      EXPECT_NEAR(qBlue(actual), qBlue(expected), 48);
    }
    const std::string bytes = TempFolder::Read(dir / "target.jpg");
    const std::size_t table = bytes.find("\xFF\xDB");
    ASSERT_LT(table + 7, bytes.size());
    EXPECT_EQ(bytes[table + 4] & 0x0F, 0) << "first table is the luminance table";
    EXPECT_EQ(bytes.substr(table + 5, 3), "\x03\x02\x02");
    EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos) << "baseline";
    EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "not progressive";
  }
}

}  // namespace
