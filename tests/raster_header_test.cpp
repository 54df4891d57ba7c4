// Image sizes read from file headers before any decoder runs, and the refusal of images whose
// headers claim more than a slice may hold or more than the file's data can give.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "study/raster_header.h"
#include "tests/testing_support.h"

using morvex::decodeGreyRaster;
using morvex::GreyRaster;
using morvex::RasterSize;
using morvex::readRasterSize;
using morvex::testing::bmpClaiming;
using morvex::testing::pngClaiming;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

cv::Mat ramp(int w, int h) {
  cv::Mat m(h, w, CV_8UC1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.at<uint8_t>(y, x) = static_cast<uint8_t>(x * 7 + y * 3);
  return m;
}

}  // namespace

TEST(RasterHeader, EveryFormatGivesItsSizeAndEveryCutHeaderIsReadSafely) {
  const cv::Mat image = ramp(37, 11);
  for (const std::string ext : {".png", ".bmp", ".jpg", ".tif", ".pgm"}) {
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(cv::imencode(ext, image, encoded)) << ext;
    RasterSize size;
    ASSERT_TRUE(readRasterSize(encoded.data(), encoded.size(), size)) << ext;
    EXPECT_EQ(size.width, 37) << ext;
    EXPECT_EQ(size.height, 11) << ext;
    const GreyRaster decoded = decodeGreyRaster(encoded);
    EXPECT_TRUE(decoded.reason.empty()) << ext << ": " << decoded.reason;
    ASSERT_EQ(decoded.image.size(), image.size()) << ext;
    if (ext != ".jpg") {
      EXPECT_EQ(cv::norm(decoded.image, image, cv::NORM_INF), 0.0) << ext;
    }
    // A header cut anywhere is refused or read whole; each cut lies in a buffer of its own size,
    // so a read past it is caught by the address sanitizer.
    for (std::size_t n = 0; n < std::min<std::size_t>(encoded.size(), 400); ++n) {
      const std::vector<uint8_t> cut(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(n));
      RasterSize part;
      if (readRasterSize(cut.data(), cut.size(), part)) {
        EXPECT_EQ(part.width, 37) << ext << " cut at " << n;
      }
    }
  }
  // Big-endian TIFF whose width is a SHORT and whose height is a LONG.
  const std::string tiff("MM\0*\0\0\0\x08\0\x02" "\x01\x00\0\x03\0\0\0\x01\x01\x2c\0\0"
                         "\x01\x01\0\x04\0\0\0\x01\0\x01\x11\x70" "\0\0\0\0", 38);
  RasterSize size;
  ASSERT_TRUE(readRasterSize(reinterpret_cast<const uint8_t*>(tiff.data()), tiff.size(), size));
  EXPECT_EQ(size.width, 300);
  EXPECT_EQ(size.height, 70000);
}

TEST(RasterHeader, NoImageAtAllIsNotARefusal) {
  for (const std::string& text : {std::string(), std::string("hello"), std::string("BM"), std::string(1, '\xFF')}) {
    const GreyRaster r = decodeGreyRaster(bytesOf(text));
    EXPECT_TRUE(r.image.empty());
    EXPECT_TRUE(r.reason.empty()) << r.reason;
  }
}

TEST(RasterHeader, ClaimsBeyondTheCapOrBeyondTheDataAreRefusedUndecoded) {
  const long peakBefore = morvex::testing::peakResidentMb();
  struct Case { const char* what; std::string bytes; const char* reason; };
  std::string sixteenK(16384, '\x10');
  const Case refused[] = {
      {"68-byte PNG of 40000 x 40000", pngClaiming(40000, 40000), "40000 x 40000 pixels exceeds 16384 x 16384"},
      {"PNG one past the cap", pngClaiming(16385, 1), "exceeds"},
      {"PNG within the cap with no data", pngClaiming(16384, 16384), "needs at least"},
      {"BMP 2097152 wide", bmpClaiming(2097152, 1, 0, std::string(64, '\0')), "2097152 x 1 pixels exceeds"},
      {"RLE8 BMP of 32000 x 32000", bmpClaiming(32000, 32000, 1, std::string("\0\1", 2)), "32000 x 32000"},
      {"top-down BMP of -40000 rows", bmpClaiming(8, -40000, 0, std::string(64, '\0')), "8 x 40000"},
      {"uncompressed BMP cut short", bmpClaiming(1000, 1000, 0, std::string(4000, '\0')), "needs at least"},
      {"BMP one past the cap", bmpClaiming(16385, 1, 0, sixteenK + std::string(4, '\0')), "exceeds"},
      {"PNG of no pixels", pngClaiming(0, 5), "empty image"},
      {"PGM of 9000 x 9000 in a few bytes", "P5 9000 9000 255\n\x01\x02", "needs at least 81000000 bytes"},
      {"PBM of 12 x 10 one byte short", "P4\n12 10\n" + std::string(19, '\xF0'), "needs at least 29 bytes"},
  };
  for (const Case& c : refused) {
    const GreyRaster r = decodeGreyRaster(bytesOf(c.bytes));
    EXPECT_TRUE(r.image.empty()) << c.what;
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << c.what << ": " << r.reason;
  }
  // A JPEG whose frame header is edited to claim 16000 x 16000 over its 16 x 16 data.
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", ramp(16, 16), jpeg));
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 16000 >> 8;
      jpeg[i + 6] = jpeg[i + 8] = 16000 & 0xFF;
      break;
    }
  const GreyRaster bigJpeg = decodeGreyRaster(jpeg);
  EXPECT_NE(bigJpeg.reason.find("16000 x 16000 pixels needs at least"), std::string::npos) << bigJpeg.reason;
  EXPECT_LT(morvex::testing::peakResidentMb() - peakBefore, 64) << "refusals must not allocate the claimed images";

  // A packed bitmap whose rows of 12 pixels take two bytes each: whole, it decodes row by row.
  std::string rows;
  for (int y = 0; y < 10; ++y) rows += std::string{static_cast<char>(0xF0 >> (y % 4)), '\x80'};
  const GreyRaster pbm = decodeGreyRaster(bytesOf("P4\n12 10\n" + rows));
  ASSERT_EQ(pbm.image.size(), cv::Size(12, 10)) << pbm.reason;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x)
      EXPECT_EQ(pbm.image.at<uint8_t>(y, x) == 0, x == 8 || (x >= y % 4 && x < 4 + y % 4)) << x << "," << y;

  // The cap itself is a size that decodes.
  const GreyRaster widest = decodeGreyRaster(bytesOf(bmpClaiming(16384, 1, 0, sixteenK)));
  EXPECT_TRUE(widest.reason.empty()) << widest.reason;
  EXPECT_EQ(widest.image.cols, 16384);
  EXPECT_EQ(widest.image.at<uint8_t>(0, 16383), 0x10);
}

TEST(RasterHeader, FilesAreReadWholeAndRefusalsNameThem) {
  morvex::testing::TempDir dir;
  const std::string bomb = morvex::testing::writeBytes(dir.file("bomb.png"), pngClaiming(40000, 40000));
  const GreyRaster r = morvex::readGreyRaster(bomb);
  EXPECT_EQ(r.reason.rfind(bomb + ": ", 0), 0u) << r.reason;
  EXPECT_EQ(r.claimed.width, 40000);
  const GreyRaster missing = morvex::readGreyRaster(dir.file("missing.png"));
  EXPECT_TRUE(missing.image.empty());
  EXPECT_TRUE(missing.reason.empty());
}
