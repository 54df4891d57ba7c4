#include "study/jpeg2000_frame.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <openjpeg.h>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcpixel.h"
#include "dcmtk/dcmdata/dcpixseq.h"
#include "dcmtk/dcmdata/dcpxitem.h"
#include "dcmtk/dcmdata/dcxfer.h"

namespace morvex {

namespace {

// The codestream as an OpenJPEG input stream; reads never go past its end.
struct MemoryStream {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
};

OPJ_SIZE_T readStream(void* buffer, OPJ_SIZE_T n, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  if (m->pos >= m->size) return static_cast<OPJ_SIZE_T>(-1);
  const std::size_t count = std::min<std::size_t>(n, m->size - m->pos);
  std::memcpy(buffer, m->data + m->pos, count);
  m->pos += count;
  return count;
}

OPJ_OFF_T skipStream(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  if (n < 0) return -1;
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(n), m->size - m->pos);
  m->pos += count;
  return static_cast<OPJ_OFF_T>(count);
}

OPJ_BOOL seekStream(OPJ_OFF_T n, void* user) {
  auto* m = static_cast<MemoryStream*>(user);
  if (n < 0 || static_cast<std::size_t>(n) > m->size) return OPJ_FALSE;
  m->pos = static_cast<std::size_t>(n);
  return OPJ_TRUE;
}

void keepError(const char* message, void* user) {
  auto* why = static_cast<std::string*>(user);
  if (why->empty()) {
    *why = message;
    while (!why->empty() && why->back() == '\n') why->pop_back();
  }
}
void ignoreMessage(const char*, void*) {}

struct CodecDeleter {
  void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
  void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
  void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

// The fragments of the first frame joined: all of them for a single frame, else the first one
// (the usual one-fragment-per-frame layout).
bool firstFrameCodestream(DcmPixelSequence* seq, bool singleFrame, std::vector<uint8_t>& out) {
  const unsigned long items = seq->card();
  for (unsigned long i = 1; i < items && (singleFrame || i == 1); ++i) {
    DcmPixelItem* item = nullptr;
    Uint8* bytes = nullptr;
    if (seq->getItem(item, i).bad() || !item || item->getUint8Array(bytes).bad()) return false;
    const Uint32 length = item->getLength();
    if (length > 0 && !bytes) return false;
    out.insert(out.end(), bytes, bytes + length);
  }
  return !out.empty();
}

// Most tiles a codestream may have: its header read keeps some 13 KB of decoder state per tile
// before a single pixel is decoded (50 MB at this count).
constexpr std::uint64_t kMaxTiles = 4096;

uint32_t bigEndian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

// The number of tiles the SIZ segment claims, read before the decoder sees the header: the
// segment follows the start of the codestream, which a JP2 file holds in its 'jp2c' box. False
// when there is no such segment where it must be.
bool tileCount(const uint8_t* data, std::size_t size, bool jp2, std::uint64_t& tiles) {
  std::size_t at = 0;
  while (jp2 && at + 8 <= size) {  // boxes: length, type, content; length 1: 64-bit length follows
    std::uint64_t length = bigEndian(data + at, 4), header = 8;
    if (length == 1) {
      if (at + 16 > size) return false;
      length = std::uint64_t{bigEndian(data + at + 8, 4)} << 32 | bigEndian(data + at + 12, 4);
      header = 16;
    }
    if (std::memcmp(data + at + 4, "jp2c", 4) == 0) {
      at += header;
      break;
    }
    if (length < header || length > size - at) return false;
    at += length;
  }
  if (at + 40 > size || bigEndian(data + at, 4) != 0xFF4FFF51u) return false;
  const uint8_t* siz = data + at + 8;  // after SOC, the SIZ marker, its length and Rsiz
  const std::uint64_t x1 = bigEndian(siz, 4), y1 = bigEndian(siz + 4, 4);
  const std::uint64_t tileWidth = bigEndian(siz + 16, 4), tileHeight = bigEndian(siz + 20, 4);
  const std::uint64_t tileX0 = bigEndian(siz + 24, 4), tileY0 = bigEndian(siz + 28, 4);
  if (tileWidth == 0 || tileHeight == 0 || tileX0 >= x1 || tileY0 >= y1) {
    tiles = 0;  // malformed: the decoder's header read refuses it
    return true;
  }
  tiles = ((x1 - tileX0 + tileWidth - 1) / tileWidth) * ((y1 - tileY0 + tileHeight - 1) / tileHeight);
  return true;
}

// A component of width x height values (no subsampling) of 1 to 16 bits.
bool componentFits(const opj_image_comp_t& c, long long width, long long height) {
  return c.w == static_cast<OPJ_UINT32>(width) && c.h == static_cast<OPJ_UINT32>(height) && c.prec >= 1 && c.prec <= 16;
}

}  // namespace

bool isJpeg2000Dataset(DcmDataset* ds) {
  const E_TransferSyntax xfer = ds->getOriginalXfer();
  return xfer == EXS_JPEG2000LosslessOnly || xfer == EXS_JPEG2000;
}

bool decodeJpeg2000(const uint8_t* data, std::size_t size, int expectedWidth, int expectedHeight,
                    Jpeg2000Image& out, std::string& why) {
  why.clear();
  static const uint8_t kJp2Signature[] = {0, 0, 0, 12, 'j', 'P', ' ', ' '};
  const bool jp2 = size >= sizeof kJp2Signature && std::memcmp(data, kJp2Signature, sizeof kJp2Signature) == 0;
  std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec) {
    why = "no JPEG 2000 decoder";
    return false;
  }
  opj_set_error_handler(codec.get(), keepError, &why);
  opj_set_warning_handler(codec.get(), ignoreMessage, nullptr);
  opj_set_info_handler(codec.get(), ignoreMessage, nullptr);
  std::uint64_t tiles = 0;
  if (!tileCount(data, size, jp2, tiles)) {
    why = "no JPEG 2000 image header where the codestream must start";
    return false;
  }
  if (tiles > kMaxTiles) {
    why = "JPEG 2000 image in " + std::to_string(tiles) + " tiles, more than " + std::to_string(kMaxTiles);
    return false;
  }
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  // a stream cut short is an error, never a partly decoded image
  if (!opj_setup_decoder(codec.get(), &parameters) || !opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE)) {
    if (why.empty()) why = "JPEG 2000 decoder setup failed";
    return false;
  }
  MemoryStream memory{data, size};
  std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(64 * 1024, OPJ_TRUE));
  if (!stream) {
    why = "no JPEG 2000 stream";
    return false;
  }
  opj_stream_set_user_data(stream.get(), &memory, nullptr);
  opj_stream_set_user_data_length(stream.get(), size);
  opj_stream_set_read_function(stream.get(), readStream);
  opj_stream_set_skip_function(stream.get(), skipStream);
  opj_stream_set_seek_function(stream.get(), seekStream);
  opj_image_t* raw = nullptr;
  if (!opj_read_header(stream.get(), codec.get(), &raw)) {
    opj_image_destroy(raw);
    if (why.empty()) why = "unreadable JPEG 2000 header";
    return false;
  }
  std::unique_ptr<opj_image_t, ImageDeleter> image(raw);
  // The header's claims are checked against the dataset's and the slice budget before a single
  // pixel is decoded.
  const long long width = static_cast<long long>(image->x1) - image->x0;
  const long long height = static_cast<long long>(image->y1) - image->y0;
  if (image->numcomps != 1 || width != expectedWidth || height != expectedHeight) {
    why = "JPEG 2000 image of " + std::to_string(image->numcomps) + " components, " + std::to_string(width) + " x " +
          std::to_string(height) + ", where the header says 1 component, " + std::to_string(expectedWidth) + " x " +
          std::to_string(expectedHeight);
    return false;
  }
  if (!componentFits(image->comps[0], width, height)) {
    const opj_image_comp_t& claim = image->comps[0];
    why = "JPEG 2000 component of " + std::to_string(claim.w) + " x " + std::to_string(claim.h) + " values of " +
          std::to_string(claim.prec) + " bits, where 1 to 16 bits over the whole image are read";
    return false;
  }
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (pixels * kJpeg2000BytesPerPixel > kSliceMemoryBudget) {
    why = "JPEG 2000 image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels would take " +
          std::to_string(pixels * kJpeg2000BytesPerPixel >> 20) + " MB to decode, more than the " +
          std::to_string(kSliceMemoryBudget >> 20) + " MB a slice may take";
    return false;
  }
  if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
    if (why.empty()) why = "JPEG 2000 decoding failed";
    return false;
  }
  const opj_image_comp_t& comp = image->comps[0];
  if (!comp.data || !componentFits(comp, width, height)) {
    why = "JPEG 2000 decoding gave no values of the size its header claims";
    return false;
  }
  try {
    out.values.assign(comp.data, comp.data + pixels);
  } catch (const std::bad_alloc&) {
    why = "out of memory decoding a JPEG 2000 image of " + std::to_string(width) + " x " + std::to_string(height);
    return false;
  }
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.precision = static_cast<int>(comp.prec);
  out.isSigned = comp.sgnd != 0;
  return true;
}

bool decodeJpeg2000PixelData(DcmDataset* ds, std::string& why) {
  Uint16 rows = 0, columns = 0, bitsAllocated = 16, samples = 1;
  ds->findAndGetUint16(DCM_Rows, rows);
  ds->findAndGetUint16(DCM_Columns, columns);
  ds->findAndGetUint16(DCM_BitsAllocated, bitsAllocated);
  ds->findAndGetUint16(DCM_SamplesPerPixel, samples);
  if (samples != 1 || (bitsAllocated != 8 && bitsAllocated != 16)) {
    why = "JPEG 2000 pixel data of " + std::to_string(samples) + " samples, " + std::to_string(bitsAllocated) +
          " bits allocated";
    return false;
  }
  Sint32 frames = 1;
  if (ds->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
  DcmElement* element = nullptr;
  if (ds->findAndGetElement(DCM_PixelData, element).bad() || !element) {
    why = "no pixel data";
    return false;
  }
  auto* pixelData = static_cast<DcmPixelData*>(element);
  DcmPixelSequence* seq = nullptr;
  std::vector<uint8_t> codestream;
  if (pixelData->getEncapsulatedRepresentation(ds->getOriginalXfer(), nullptr, seq).bad() || !seq ||
      !firstFrameCodestream(seq, frames == 1, codestream)) {
    why = "no JPEG 2000 codestream in the pixel data";
    return false;
  }
  Jpeg2000Image image;
  if (!decodeJpeg2000(codestream.data(), codestream.size(), columns, rows, image, why)) return false;
  const std::size_t n = image.values.size();
  OFCondition cond;
  if (bitsAllocated == 8) {
    std::vector<Uint8> bytes(n);
    std::transform(image.values.begin(), image.values.end(), bytes.begin(),
                   [](int32_t v) { return static_cast<Uint8>(v); });
    cond = ds->putAndInsertUint8Array(DCM_PixelData, bytes.data(), static_cast<unsigned long>(n));
  } else {
    // two's complement words: PixelRepresentation tells the modality transform their sign
    std::vector<Uint16> words(n);
    std::transform(image.values.begin(), image.values.end(), words.begin(),
                   [](int32_t v) { return static_cast<Uint16>(v); });
    cond = ds->putAndInsertUint16Array(DCM_PixelData, words.data(), static_cast<unsigned long>(n));
  }
  if (cond.good() && frames > 1) cond = ds->putAndInsertString(DCM_NumberOfFrames, "1");
  if (cond.bad()) {
    why = cond.text();
    return false;
  }
  return true;
}

}  // namespace morvex
