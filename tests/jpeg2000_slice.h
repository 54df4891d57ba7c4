#pragma once
// Writes JPEG 2000 test slices: a lossless J2K codestream made with OpenJPEG, encapsulated in a
// small CT file. Used by the decoder tests and by the fuzz seed writer.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <openjpeg.h>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcpixel.h"
#include "dcmtk/dcmdata/dcpixseq.h"
#include "dcmtk/dcmdata/dcpxitem.h"
#include "dcmtk/dcmdata/dcuid.h"

namespace morvex::testing {

namespace j2k_detail {
struct ByteSink { std::vector<uint8_t> bytes; std::size_t pos = 0; };
inline OPJ_SIZE_T write(void* buf, OPJ_SIZE_T n, void* user) {
  auto* s = static_cast<ByteSink*>(user);
  if (s->bytes.size() < s->pos + n) s->bytes.resize(s->pos + n);
  std::memcpy(s->bytes.data() + s->pos, buf, n);
  s->pos += n;
  return n;
}
inline OPJ_OFF_T skip(OPJ_OFF_T n, void* user) {
  static_cast<ByteSink*>(user)->pos += static_cast<std::size_t>(n);
  return n;
}
inline OPJ_BOOL seek(OPJ_OFF_T n, void* user) {
  static_cast<ByteSink*>(user)->pos = static_cast<std::size_t>(n);
  return OPJ_TRUE;
}
}  // namespace j2k_detail

// A lossless (reversible 5/3, one layer) J2K codestream (or JP2 file) of an image of precision
// bits, signed or not; empty on failure.
inline std::vector<uint8_t> encodeLosslessJ2k(const std::vector<int16_t>& values, int width, int height,
                                              int precision = 16, bool isSigned = true, bool jp2 = false) {
  opj_cparameters_t p;
  opj_set_default_encoder_parameters(&p);
  p.tcp_numlayers = 1;
  p.tcp_rates[0] = 0;
  p.cp_disto_alloc = 1;
  p.numresolution = 3;
  opj_image_cmptparm_t comp{};
  comp.dx = comp.dy = 1;
  comp.w = static_cast<OPJ_UINT32>(width);
  comp.h = static_cast<OPJ_UINT32>(height);
  comp.prec = static_cast<OPJ_UINT32>(precision);
  comp.sgnd = isSigned ? 1 : 0;
  opj_image_t* image = opj_image_create(1, &comp, OPJ_CLRSPC_GRAY);
  if (!image) return {};
  image->x1 = comp.w;
  image->y1 = comp.h;
  std::copy(values.begin(), values.end(), image->comps[0].data);
  opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
  j2k_detail::ByteSink sink;
  opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
  opj_stream_set_user_data(stream, &sink, nullptr);
  opj_stream_set_write_function(stream, j2k_detail::write);
  opj_stream_set_skip_function(stream, j2k_detail::skip);
  opj_stream_set_seek_function(stream, j2k_detail::seek);
  const bool ok = opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, stream) &&
                  opj_encode(codec, stream) && opj_end_compress(codec, stream);
  opj_stream_destroy(stream);
  opj_destroy_codec(codec);
  opj_image_destroy(image);
  return ok ? sink.bytes : std::vector<uint8_t>();
}

// A CT slice (instance 4, thickness 2.5) whose pixel data is the codestream, encapsulated as
// JPEG 2000 lossless in one fragment; Rows and Columns say height and width. 16 bits are signed
// words, 8 bits unsigned bytes.
inline bool writeJ2kSlice(const std::string& path, std::vector<uint8_t> codestream, int width, int height,
                          int bits = 16) {
  DcmFileFormat ff;
  DcmDataset* ds = ff.getDataset();
  ds->putAndInsertString(DCM_SOPClassUID, UID_CTImageStorage);
  ds->putAndInsertString(DCM_SOPInstanceUID, "2.25.78");
  ds->putAndInsertString(DCM_Modality, "CT");
  ds->putAndInsertString(DCM_PatientName, "J2K^TEST");
  ds->putAndInsertString(DCM_SeriesDate, "20260101");
  ds->putAndInsertString(DCM_InstanceNumber, "4");
  ds->putAndInsertString(DCM_PixelSpacing, "0.7\\0.7");
  ds->putAndInsertString(DCM_SliceThickness, "2.5");
  ds->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
  ds->putAndInsertUint16(DCM_SamplesPerPixel, 1);
  ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(height));
  ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(width));
  ds->putAndInsertUint16(DCM_BitsAllocated, static_cast<Uint16>(bits));
  ds->putAndInsertUint16(DCM_BitsStored, static_cast<Uint16>(bits));
  ds->putAndInsertUint16(DCM_HighBit, static_cast<Uint16>(bits - 1));
  ds->putAndInsertUint16(DCM_PixelRepresentation, bits == 16 ? 1 : 0);
  if (codestream.size() % 2) codestream.push_back(0);
  auto* seq = new DcmPixelSequence(DcmTag(DCM_PixelData, EVR_OB));
  seq->insert(new DcmPixelItem(DcmTag(DCM_Item, EVR_OB)));  // empty offset table
  auto* fragment = new DcmPixelItem(DcmTag(DCM_Item, EVR_OB));
  fragment->putUint8Array(codestream.data(), static_cast<unsigned long>(codestream.size()));
  seq->insert(fragment);
  auto* pixelData = new DcmPixelData(DCM_PixelData);
  pixelData->putOriginalRepresentation(EXS_JPEG2000LosslessOnly, nullptr, seq);
  ds->insert(pixelData, true);
  return ff.saveFile(path.c_str(), EXS_JPEG2000LosslessOnly).good();
}

}  // namespace morvex::testing
