#include "study/raster_header.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <new>

#include <opencv2/imgcodecs.hpp>

namespace morvex {

namespace {

// Largest file read whole: a 16384 x 16384 image of four bytes per pixel.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{kMaxSliceSide} * kMaxSliceSide * 4;

// Deflate never expands more than 1032 : 1; some slack for the zlib and chunk framing.
constexpr std::uint64_t kDeflateRatio = 1100;

struct Bytes {
  const uint8_t* p;
  std::size_t n;
  bool has(std::size_t at, std::size_t len) const { return at <= n && len <= n - at; }
  uint32_t be16(std::size_t at) const { return (uint32_t{p[at]} << 8) | p[at + 1]; }
  uint32_t be32(std::size_t at) const { return (be16(at) << 16) | be16(at + 2); }
  uint32_t le16(std::size_t at) const { return (uint32_t{p[at + 1]} << 8) | p[at]; }
  uint32_t le32(std::size_t at) const { return (le16(at + 2) << 16) | le16(at); }
};

int clampSide(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 0, INT_MAX)); }

// Header facts of one image: the size and the fewest bytes its pixel data can take (0: unknown).
struct Claim {
  std::int64_t width = 0, height = 0;
  std::uint64_t minDataBytes = 0;
};

bool pngClaim(const Bytes& b, Claim& c) {
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (!b.has(0, 33) || std::memcmp(b.p, sig, 8) != 0 || std::memcmp(b.p + 12, "IHDR", 4) != 0) return false;
  c.width = b.be32(16);
  c.height = b.be32(20);
  const uint32_t depth = b.p[24], colour = b.p[25];
  const uint32_t channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  const std::uint64_t rowBytes = 1 + (static_cast<std::uint64_t>(c.width) * channels * std::max(depth, 1u) + 7) / 8;
  c.minDataBytes = rowBytes * static_cast<std::uint64_t>(c.height) / kDeflateRatio;
  return true;
}

bool bmpClaim(const Bytes& b, Claim& c) {
  if (!b.has(0, 26) || b.p[0] != 'B' || b.p[1] != 'M') return false;
  const uint32_t offset = b.le32(10), headerSize = b.le32(14);
  uint32_t bpp = 0, compression = 0;
  if (headerSize == 12) {  // OS/2 core header: 16-bit sizes, never compressed
    c.width = b.le16(18);
    c.height = b.le16(20);
    bpp = b.le16(24);
  } else {
    if (!b.has(0, 34)) return false;
    c.width = static_cast<int32_t>(b.le32(18));
    c.height = static_cast<int32_t>(b.le32(22));
    bpp = b.le16(28);
    compression = b.le32(30);
  }
  if (c.height < 0) c.height = -c.height;  // top-down rows
  // Uncompressed rows (BI_RGB, BI_BITFIELDS) are stored in full: the file must hold them.
  if (compression == 0 || compression == 3) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(std::max<std::int64_t>(c.width, 0)) * bpp + 31) / 32 * 4;
    if (c.height > 0) c.minDataBytes = offset + stride * static_cast<std::uint64_t>(c.height - 1) + stride / 2;
  }
  return true;
}

bool jpegClaim(const Bytes& b, Claim& c) {
  if (!b.has(0, 4) || b.p[0] != 0xFF || b.p[1] != 0xD8) return false;
  std::size_t at = 2;
  while (b.has(at, 4)) {
    if (b.p[at] != 0xFF) return false;
    const uint8_t marker = b.p[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
      at += 2;
      continue;
    }
    const uint32_t length = b.be16(at + 2);
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (length < 8 || !b.has(at + 4, 5)) return false;
      c.height = b.be16(at + 5);
      c.width = b.be16(at + 7);
      // Huffman coding spends at least one bit per 8 x 8 block (per sample when lossless).
      const std::uint64_t w = static_cast<std::uint64_t>(c.width), h = static_cast<std::uint64_t>(c.height);
      if (marker <= 0xC2) c.minDataBytes = ((w + 7) / 8) * ((h + 7) / 8) / 8;
      if (marker == 0xC3) c.minDataBytes = w * h / 8;
      return true;
    }
    if (length < 2) return false;
    at += 2 + length;
  }
  return false;
}

bool tiffClaim(const Bytes& b, Claim& c) {
  if (!b.has(0, 8)) return false;
  const bool little = b.p[0] == 'I' && b.p[1] == 'I' && b.p[2] == 42 && b.p[3] == 0;
  const bool big = b.p[0] == 'M' && b.p[1] == 'M' && b.p[2] == 0 && b.p[3] == 42;
  if (!little && !big) return false;
  const auto u16 = [&](std::size_t at) { return little ? b.le16(at) : b.be16(at); };
  const auto u32 = [&](std::size_t at) { return little ? b.le32(at) : b.be32(at); };
  const std::size_t ifd = u32(4);
  if (!b.has(ifd, 2)) return false;
  const std::size_t count = u16(ifd);
  bool haveWidth = false, haveHeight = false;
  for (std::size_t i = 0; i < count && b.has(ifd + 2 + 12 * i, 12); ++i) {
    const std::size_t e = ifd + 2 + 12 * i;
    const uint32_t tag = u16(e), type = u16(e + 2);
    if (tag != 256 && tag != 257) continue;
    const std::int64_t value = type == 3 ? u16(e + 8) : type == 4 ? u32(e + 8) : -1;
    if (value < 0) return false;
    (tag == 256 ? c.width : c.height) = value;
    (tag == 256 ? haveWidth : haveHeight) = true;
  }
  return haveWidth && haveHeight;
}

// Next decimal field of a PNM header, skipping white space and comments.
bool pnmNumber(const Bytes& b, std::size_t& at, std::int64_t& value) {
  while (at < b.n && (std::isspace(b.p[at]) || b.p[at] == '#')) {
    if (b.p[at] == '#')
      while (at < b.n && b.p[at] != '\n') ++at;
    else
      ++at;
  }
  if (at >= b.n || !std::isdigit(b.p[at])) return false;
  value = 0;
  for (; at < b.n && std::isdigit(b.p[at]); ++at) value = std::min<std::int64_t>(value * 10 + (b.p[at] - '0'), INT_MAX);
  return true;
}

bool pnmClaim(const Bytes& b, Claim& c) {
  if (!b.has(0, 3) || b.p[0] != 'P' || b.p[1] < '1' || b.p[1] > '6') return false;
  std::size_t at = 2;
  if (!pnmNumber(b, at, c.width) || !pnmNumber(b, at, c.height)) return false;
  // At least one byte (or character) per sample. Packed bitmaps (P4) are exact: after the one
  // white space that ends the header, rows of one bit per pixel, each padded to whole bytes.
  const std::uint64_t w = static_cast<std::uint64_t>(c.width), h = static_cast<std::uint64_t>(c.height);
  const char kind = static_cast<char>(b.p[1]);
  c.minDataBytes = kind == '4' ? at + 1 + (w + 7) / 8 * h : (kind == '3' || kind == '6') ? 3 * w * h : w * h;
  return true;
}

bool claimOf(const Bytes& b, Claim& c) {
  return pngClaim(b, c) || bmpClaim(b, c) || jpegClaim(b, c) || tiffClaim(b, c) || pnmClaim(b, c);
}

std::string sizeText(std::int64_t w, std::int64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

}  // namespace

bool readRasterSize(const uint8_t* data, std::size_t size, RasterSize& out) {
  Claim c;
  if (!data || !claimOf(Bytes{data, size}, c)) return false;
  out.width = clampSide(c.width);
  out.height = clampSide(c.height);
  return true;
}

GreyRaster checkRasterHeader(const std::vector<uint8_t>& bytes) {
  GreyRaster r;
  Claim c;
  if (!claimOf(Bytes{bytes.data(), bytes.size()}, c)) return r;
  r.claimed = {clampSide(c.width), clampSide(c.height)};
  if (c.width <= 0 || c.height <= 0)
    r.reason = "image header claims an empty image (" + sizeText(c.width, c.height) + ")";
  else if (c.width > kMaxSliceSide || c.height > kMaxSliceSide)
    r.reason = "image of " + sizeText(c.width, c.height) + " pixels exceeds " + sizeText(kMaxSliceSide, kMaxSliceSide);
  else if (c.minDataBytes > bytes.size())
    r.reason = "image of " + sizeText(c.width, c.height) + " pixels needs at least " + std::to_string(c.minDataBytes) +
               " bytes but the file holds " + std::to_string(bytes.size());
  return r;
}

GreyRaster decodeGreyRaster(const std::vector<uint8_t>& bytes) {
  GreyRaster r = checkRasterHeader(bytes);
  if (!r.reason.empty() || r.claimed.width == 0) return r;
  try {
    r.image = cv::imdecode(bytes, cv::IMREAD_GRAYSCALE);
  } catch (const cv::Exception& e) {
    r.image.release();
    r.reason = std::string("image decoder error: ") + e.what();
  } catch (const std::bad_alloc&) {
    r.image.release();
    r.reason = "out of memory decoding an image of " + sizeText(r.claimed.width, r.claimed.height) + " pixels";
  }
  if (!r.image.empty() && r.image.type() != CV_8UC1) {
    r.image.release();
    r.reason = "image decoder returned no 8-bit grey image";
  }
  return r;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFileBytes) return false;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  in.seekg(0);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

GreyRaster readGreyRaster(const std::string& path) {
  std::vector<uint8_t> bytes;
  GreyRaster r;
  if (!readFileBytes(path, bytes)) return r;
  r = decodeGreyRaster(bytes);
  if (!r.reason.empty()) r.reason = path + ": " + r.reason;
  return r;
}

}  // namespace morvex
