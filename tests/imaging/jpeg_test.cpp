// Bitmap attachments re-encoded as JPEG through Qt: every bitmap layout the attachment export
// meets, the size and colours kept, quality 90 baseline, and nothing left behind on failure.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/imaging/qt/qt_image_converter.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 13;  // odd, so rows need padding
constexpr int kHeight = 7;

struct Rgb {
  std::uint8_t r, g, b;
};
constexpr Rgb kTop{255, 0, 0};     // rows 0 to 2, counted from the top
constexpr Rgb kBottom{0, 0, 255};  // the rows below

Rgb PixelAt(int, int y) {
  return y < 3 ? kTop : kBottom;
}

enum class Compression { kRgb = 0, kRle8 = 1, kBitfields = 3 };

struct BmpLayout {
  const char* name;
  int bitsPerPixel;
  Compression compression;
  bool topDown;
  int headerSize;  // 40 (BITMAPINFOHEADER), 108 (V4), 124 (V5)
};

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A bitmap file of kWidth x kHeight showing kTop over kBottom, in the given layout.
std::vector<std::uint8_t> MakeBmp(const BmpLayout& layout) {
  const int bpp = layout.bitsPerPixel;
  const bool palette = bpp <= 8;
  // Palette index 0 is kTop, 1 is kBottom.
  auto index = [](int x, int y) { return PixelAt(x, y).r == kTop.r ? 0 : 1; };

  std::vector<std::uint8_t> pixels;
  auto rowOf = [&](int i) { return layout.topDown ? i : kHeight - 1 - i; };  // stored row -> y
  if (layout.compression == Compression::kRle8) {
    for (int i = 0; i < kHeight; ++i) {
      const int y = rowOf(i);
      pixels.push_back(kWidth);  // one run holds the whole row
      pixels.push_back(static_cast<std::uint8_t>(index(0, y)));
      pixels.push_back(0);  // end of line
      pixels.push_back(0);
    }
    pixels.push_back(0);  // end of bitmap
    pixels.push_back(1);
  } else {
    for (int i = 0; i < kHeight; ++i) {
      const int y = rowOf(i);
      std::vector<std::uint8_t> row;
      if (palette) {
        std::uint32_t acc = 0;
        int bits = 0;
        for (int x = 0; x < kWidth; ++x) {
          acc = (acc << bpp) | static_cast<std::uint32_t>(index(x, y));
          bits += bpp;
          if (bits == 8) {
            row.push_back(static_cast<std::uint8_t>(acc));
            acc = 0;
            bits = 0;
          }
        }
        if (bits) row.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
      } else {
        for (int x = 0; x < kWidth; ++x) {
          const Rgb c = PixelAt(x, y);
          if (bpp == 16) {  // 5-6-5 bit fields
            Put16(row, ((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
          } else {
            row.push_back(c.b);
            row.push_back(c.g);
            row.push_back(c.r);
            if (bpp == 32) row.push_back(0xFF);
          }
        }
      }
      while (row.size() % 4) row.push_back(0);
      pixels.insert(pixels.end(), row.begin(), row.end());
    }
  }

  std::vector<std::uint8_t> info;
  Put32(info, static_cast<std::uint32_t>(layout.headerSize));
  Put32(info, kWidth);
  Put32(info, static_cast<std::uint32_t>(layout.topDown ? -kHeight : kHeight));
  Put16(info, 1);
  Put16(info, static_cast<unsigned>(bpp));
  Put32(info, static_cast<std::uint32_t>(layout.compression));
  Put32(info, static_cast<std::uint32_t>(pixels.size()));
  Put32(info, 2835);
  Put32(info, 2835);
  Put32(info, palette ? 2 : 0);
  Put32(info, 0);
  std::uint32_t masks[4] = {0, 0, 0, 0};
  if (layout.compression == Compression::kBitfields) {
    if (bpp == 16) {
      masks[0] = 0xF800, masks[1] = 0x07E0, masks[2] = 0x001F;
    } else {
      masks[0] = 0x00FF0000, masks[1] = 0x0000FF00, masks[2] = 0x000000FF, masks[3] = 0xFF000000;
    }
  }
  if (layout.headerSize >= 108) {
    for (std::uint32_t mask : masks) Put32(info, mask);
    Put32(info, 0x73524742);                      // 'sRGB'
    for (int i = 0; i < 12; ++i) Put32(info, 0);  // end points and gamma
    if (layout.headerSize >= 124) {
      for (int i = 0; i < 4; ++i) Put32(info, i == 0 ? 4 : 0);  // intent, profile, reserved
    }
  } else if (layout.compression == Compression::kBitfields) {
    for (int i = 0; i < 3; ++i) Put32(info, masks[i]);
  }
  if (palette) {
    for (Rgb c : {kTop, kBottom}) {
      info.push_back(c.b);
      info.push_back(c.g);
      info.push_back(c.r);
      info.push_back(0);
    }
  }

  std::vector<std::uint8_t> file = {'B', 'M'};
  const std::uint32_t offset = static_cast<std::uint32_t>(14 + info.size());
  Put32(file, offset + static_cast<std::uint32_t>(pixels.size()));
  Put32(file, 0);
  Put32(file, offset);
  file.insert(file.end(), info.begin(), info.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class JpegConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("lorva-jpeg-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<fs::path> Entries() const {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(dir_)) entries.push_back(entry.path());
    return entries;
  }

  fs::path dir_;
  lorva::platform::QtImageConverter converter_;
};

void ExpectColourNear(QRgb actual, Rgb expected) {
  EXPECT_NEAR(qRed(actual), expected.r, 48);
  EXPECT_NEAR(qGreen(actual), expected.g, 48);
  EXPECT_NEAR(qBlue(actual), expected.b, 48);
}

TEST_F(JpegConversion, EveryBitmapLayoutBecomesAJpegOfTheSameSizeAndPicture) {
  const BmpLayout layouts[] = {
      {"1-bit", 1, Compression::kRgb, false, 40},
      {"4-bit", 4, Compression::kRgb, false, 40},
      {"8-bit", 8, Compression::kRgb, false, 40},
      {"8-bit RLE", 8, Compression::kRle8, false, 40},
      {"16-bit bit fields", 16, Compression::kBitfields, false, 40},
      {"24-bit", 24, Compression::kRgb, false, 40},
      {"24-bit top-down", 24, Compression::kRgb, true, 40},
      {"8-bit top-down", 8, Compression::kRgb, true, 40},
      {"32-bit", 32, Compression::kRgb, false, 40},
      {"32-bit top-down", 32, Compression::kRgb, true, 40},
      {"32-bit bit fields V4 header", 32, Compression::kBitfields, false, 108},
      {"32-bit bit fields V5 header", 32, Compression::kBitfields, false, 124},
      {"24-bit V5 header", 24, Compression::kRgb, false, 124},
  };
  int n = 0;
  for (const BmpLayout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    const fs::path source = dir_ / ("source" + std::to_string(n) + ".bmp");
    const fs::path target = dir_ / ("target" + std::to_string(n) + ".jpg");
    ++n;
    WriteFile(source, MakeBmp(layout));
    ASSERT_FALSE(QImage(QString::fromStdString(source.string())).isNull())
        << "the generated bitmap does not load";

    converter_.ConvertToJpeg(source.string(), target.string(), 90);

    ASSERT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::exists(source)) << "the source stays in place";
    QImageReader reader(QString::fromStdString(target.string()));
    reader.setDecideFormatFromContent(true);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage jpeg = reader.read();
    ASSERT_FALSE(jpeg.isNull());
    EXPECT_EQ(jpeg.width(), kWidth);
    EXPECT_EQ(jpeg.height(), kHeight);
    ExpectColourNear(jpeg.pixel(6, 0), kTop);
    ExpectColourNear(jpeg.pixel(6, kHeight - 1), kBottom);
  }
}

// The quantisation tables of a quality-90 JPEG (libjpeg's scaling of the standard tables) start
// with 3, 2, 2 for luminance; a baseline image has a start-of-frame 0 marker.
TEST_F(JpegConversion, WritesBaselineJpegAtQuality90) {
  const fs::path source = dir_ / "a.bmp";
  const fs::path target = dir_ / "a.jpg";
  WriteFile(source, MakeBmp({"24-bit", 24, Compression::kRgb, false, 40}));
  converter_.ConvertToJpeg(source.string(), target.string(), 90);
  const std::vector<std::uint8_t> jpeg = ReadFile(target);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  bool baseline = false, progressive = false, foundTable = false;
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF) continue;
    if (jpeg[i + 1] == 0xC0) baseline = true;
    if (jpeg[i + 1] == 0xC2) progressive = true;
    if (jpeg[i + 1] == 0xDB && !foundTable && i + 7 < jpeg.size()) {
      foundTable = true;
      EXPECT_EQ(jpeg[i + 4] & 0x0F, 0) << "first table is the luminance table";
      EXPECT_EQ(jpeg[i + 5], 3);
      EXPECT_EQ(jpeg[i + 6], 2);
      EXPECT_EQ(jpeg[i + 7], 2);
    }
  }
  EXPECT_TRUE(foundTable);
  EXPECT_TRUE(baseline);
  EXPECT_FALSE(progressive);
}

TEST_F(JpegConversion, SourceThatIsNotAnImageLeavesNoTarget) {
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> sources = {
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"empty", {}},
      {"truncated bitmap",
       [] {
         auto bmp = MakeBmp({"24-bit", 24, Compression::kRgb, false, 40});
         bmp.resize(30);
         return bmp;
       }()},
  };
  for (const auto& [name, bytes] : sources) {
    SCOPED_TRACE(name);
    const fs::path source = dir_ / "x.bmp";
    WriteFile(source, bytes);
    converter_.ConvertToJpeg(source.string(), (dir_ / "x.jpg").string(), 90);
    EXPECT_EQ(Entries(), std::vector<fs::path>{source}) << "only the source is in the folder";
  }
  converter_.ConvertToJpeg((dir_ / "missing.bmp").string(), (dir_ / "y.jpg").string(), 90);
  EXPECT_FALSE(fs::exists(dir_ / "y.jpg"));
}

TEST_F(JpegConversion, UnwritableTargetLeavesNothingAndRaisesNothing) {
  const fs::path source = dir_ / "a.bmp";
  WriteFile(source, MakeBmp({"24-bit", 24, Compression::kRgb, false, 40}));
  converter_.ConvertToJpeg(source.string(), (dir_ / "no-such-folder" / "a.jpg").string(), 90);
  EXPECT_EQ(Entries(), std::vector<fs::path>{source});
}

}  // namespace
