#include "study/slice_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <type_traits>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcrledrg.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/dcmimgle/dcmimage.h"
#include "dcmtk/dcmimgle/dipixel.h"
#include "dcmtk/dcmjpeg/djdecode.h"
#include "dcmtk/dcmjpls/djdecode.h"
#include "dcmtk/oflog/oflog.h"

#include "study/file_name_meta.h"
#include "study/dicom_geometry.h"
#include "study/jpeg2000_frame.h"
#include "study/raster_header.h"
#include "study/text_field.h"
#include "study/translatable.h"

namespace morvex {

namespace {

constexpr const char* kUnsupportedExtension = QT_TRANSLATE_NOOP("morvex::Core", "This file extension cannot be processed.");

void cleanupCodecs() {
  DJLSDecoderRegistration::cleanup();
  DJDecoderRegistration::cleanup();
  DcmRLEDecoderRegistration::cleanup();
}

bool isRasterExtension(const std::string& ext) { return ext == "jpg" || ext == "png" || ext == "bmp"; }

// Parses a DICOM file and converts its dataset to Little Endian Explicit (decompressing it).
OFCondition parseDicom(DcmFileFormat& ff, const char* path) {
  OFCondition cond = ff.loadFile(path, EXS_Unknown, EGL_noChange, 4096, ERM_autoDetect);
  return cond;
}

std::string textOf(DcmItem* item, const DcmTagKey& key) {
  OFString value;
  if (item->findAndGetOFString(key, value).bad()) return std::string();
  return std::string(value.c_str());
}

// Bytes per pixel of the copies a decompressed slice takes beside its expanded pixel data: the
// toolkit's intermediate values (4) and the intensities (2).
constexpr double kCopyBytesPerPixel = 6;

// Why the pixel data cannot be what the header claims, checked before any decoder allocates: the
// size cap per slice, the pixel data present in a native (uncompressed) dataset, and the expanded
// size of a compressed one with the copies of its first frame within the slice budget. Empty when the claim is sound (or when an attribute is missing, which
// the decoding steps report themselves).
std::string pixelDataRefusal(DcmDataset* ds) {
  Uint16 rows = 0, columns = 0, bits = 0, samples = 1;
  if (ds->findAndGetUint16(DCM_Rows, rows).bad() || ds->findAndGetUint16(DCM_Columns, columns).bad()) return {};
  const std::string size = std::to_string(columns) + " x " + std::to_string(rows);
  if (rows > kMaxSliceSide || columns > kMaxSliceSide)
    return "Columns x Rows " + size + " exceed " + std::to_string(kMaxSliceSide) + " x " + std::to_string(kMaxSliceSide);
  ds->findAndGetUint16(DCM_BitsAllocated, bits);
  ds->findAndGetUint16(DCM_SamplesPerPixel, samples);
  Sint32 frames = 1;
  if (ds->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
  DcmElement* pixelData = nullptr;
  if (ds->findAndGetElement(DCM_PixelData, pixelData).bad() || !pixelData) return {};
  const double bitsClaimed = static_cast<double>(rows) * columns * std::max<Uint16>(samples, 1) * frames * bits;
  const Uint32 present = pixelData->getLengthField();  // as read: the value may not be loaded yet
  const bool encapsulated = DcmXfer(ds->getOriginalXfer()).isEncapsulated() || present == DCM_UndefinedLength;
  if (encapsulated) {
    const double copies = static_cast<double>(rows) * columns * std::max<Uint16>(samples, 1) * kCopyBytesPerPixel;
    if (bitsClaimed / 8 + copies > static_cast<double>(kSliceMemoryBudget))
      return "compressed pixel data would expand to " + std::to_string(static_cast<long long>(bitsClaimed / 8)) +
             " bytes (" + size + ", " + std::to_string(frames) + " frames), more than the " +
             std::to_string(kSliceMemoryBudget >> 20) + " MB a slice may take";
    return {};
  }
  const double needed = std::ceil(bitsClaimed / 8);
  if (static_cast<double>(present) < needed)
    return "pixel data holds " + std::to_string(present) + " bytes, " + size + " x " + std::to_string(frames) +
           " frames of " + std::to_string(bits) + " bits need " + std::to_string(static_cast<long long>(needed));
  return {};
}

void logPixelDataRefusal(const std::string& refusal) {
  std::fprintf(stderr, "loadDcmFile_dcmtk(): DCMTK-pixel data error: %s\n", refusal.c_str());
}

// Converts the dataset to Little Endian Explicit, decompressing it: JPEG 2000 through OpenJPEG
// (the toolkit has no decoder for it), the other compressions through the registered codecs. A
// JPEG 2000 stream that cannot be decoded sets refusal (the header stays readable).
OFCondition toNativeRepresentation(DcmDataset* ds, const std::string& path, std::string& refusal) {
  if (isJpeg2000Dataset(ds)) {
    std::string why;
    if (!decodeJpeg2000PixelData(ds, why)) {
      refusal = path + ": " + why;
      return EC_Normal;
    }
  }
  return ds->chooseRepresentation(EXS_LittleEndianExplicit, nullptr);
}

void readDicomHeader(DcmItem* ds, SliceHeader& h) {
  assignText(h.patientName, textOf(ds, DCM_PatientName));
  assignText(h.institutionName, textOf(ds, DCM_InstitutionName));
  assignText(h.patientId, textOf(ds, DCM_PatientID));
  assignText(h.patientAge, textOf(ds, DCM_PatientAge), kShortCapacity);
  assignText(h.patientSex, textOf(ds, DCM_PatientSex), kShortCapacity);
  assignText(h.seriesDate, textOf(ds, DCM_SeriesDate));
  assignText(h.manufacturerModelName, textOf(ds, DCM_ManufacturerModelName));
  assignText(h.modality, textOf(ds, DCM_Modality));
  assignText(h.seriesInstanceUid, textOf(ds, DCM_SeriesInstanceUID));
  const std::string seriesNumber = textOf(ds, DCM_SeriesNumber);
  h.seriesNumber = seriesNumber.empty() ? -1 : leadingInt(seriesNumber.c_str());
  assignText(h.seriesDescription, textOf(ds, DCM_SeriesDescription));
  h.pixelSpacing = static_cast<float>(leadingDouble(textOf(ds, DCM_PixelSpacing).c_str()));
  h.sliceThickness = static_cast<float>(leadingDouble(textOf(ds, DCM_SliceThickness).c_str()));
  h.height = leadingInt(textOf(ds, DCM_Rows).c_str());
  h.width = leadingInt(textOf(ds, DCM_Columns).c_str());
  h.instanceNumber = leadingInt(textOf(ds, DCM_InstanceNumber).c_str());
  h.windowCenter = leadingInt(textOf(ds, DCM_WindowCenter).c_str());
  h.windowWidth = leadingInt(textOf(ds, DCM_WindowWidth).c_str());
}

void logCondition(FILE* stream, const char* message, const OFCondition& cond) {
  std::fprintf(stream, "%s%s\n", message, cond.text());
}

// Why an attribute the slice needs could not be read, for the user: missing, empty or unreadable.
std::string attributeProblem(DcmItem* ds, const DcmTagKey& key, const char* name, const OFCondition& cond) {
  if (!ds->tagExists(key)) return std::string("missing ") + name;
  if (!ds->tagExistsWithValue(key)) return std::string(name) + " is empty";
  return std::string(name) + " cannot be read (" + cond.text() + ")";
}

void setReason(std::string* why, const std::string& text) {
  if (why) *why = text;
}

// Copies the values into dst. Values inside [lo, hi] are copied; the others are clamped to the
// largest / smallest value that fits. False when no value fits.
template <typename T>
bool copyFitting(const T* src, std::size_t n, int16_t* dst, long long lo, long long hi) {
  if constexpr (sizeof(T) == 1 || std::is_same_v<T, Sint16>) {
    // every value of these types fits
    (void)lo;
    (void)hi;
    if (n == 0) return false;
    if constexpr (std::is_same_v<T, Sint16>)
      std::memcpy(dst, src, n * sizeof(int16_t));
    else
      for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
    return true;
  }
  long long mn = 999999, mx = -999999;
  for (std::size_t i = 0; i < n; ++i) {
    const long long v = src[i];
    if (v >= lo && v <= hi) {
      if (v < mn) mn = v;
      if (v > mx) mx = v;
    }
  }
  if (mx == -999999 || mn == 999999) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const long long v = src[i];
    dst[i] = static_cast<int16_t>(v > hi ? mx : (v < lo ? mn : v));
  }
  return true;
}

// Steps after the dataset has been parsed and converted: size, instance, spacing, thickness,
// then the modality-transformed pixel values of the first frame.
// why (when given) receives the reason of a failure in words for the user.
bool decodeDicomDataset(DcmFileFormat& ff, int* width, int* height, ImageBuffer<int16_t>& intensities,
                        int* instanceNumber, double* spacingX, double* spacingY, double* sliceThickness,
                        std::string* why = nullptr) {
  DcmDataset* ds = ff.getDataset();
  long value = 0;
  OFCondition cond = ds->findAndGetLongInt(DCM_Columns, value);
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-width error: ", cond);
    setReason(why, attributeProblem(ds, DCM_Columns, "Columns (0028,0011)", cond));
    return false;
  }
  const long columns = value;
  cond = ds->findAndGetLongInt(DCM_Rows, value);
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-height error: ", cond);
    setReason(why, attributeProblem(ds, DCM_Rows, "Rows (0028,0010)", cond));
    return false;
  }
  const long rows = value;
  *instanceNumber = -1;
  cond = ds->findAndGetLongInt(DCM_InstanceNumber, value);
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-instanceNumber error: ", cond);
    setReason(why, attributeProblem(ds, DCM_InstanceNumber, "Instance Number (0020,0013)", cond));
    return false;
  }
  *instanceNumber = static_cast<int>(value);
  OFString spacing;
  cond = ds->findAndGetOFStringArray(DCM_PixelSpacing, spacing);
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-pixelSpacing error: ", cond);
    setReason(why, attributeProblem(ds, DCM_PixelSpacing, "Pixel Spacing (0028,0030)", cond));
    return false;
  }
  const std::string sp(spacing.c_str());
  const auto sep = sp.find('\\');
  *spacingX = leadingDouble(sp.substr(0, sep).c_str());
  *spacingY = sep == std::string::npos ? 0.0 : leadingDouble(sp.substr(sep + 1).c_str());
  OFString thickness;
  cond = ds->findAndGetOFString(DCM_SliceThickness, thickness);
  // without a thickness a slice is still measurable when its position is known: the series'
  // positions give the distance between slices
  OFString position;
  const bool positioned = ds->findAndGetOFString(DCM_ImagePositionPatient, position, 2).good();
  if (cond.bad() && !positioned) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-slice thickness error: ", cond);
    setReason(why, attributeProblem(ds, DCM_SliceThickness, "Slice Thickness (0018,0050)", cond) +
                       " and no Image Position (Patient) (0020,0032) to measure the slice spacing");
    return false;
  }
  *sliceThickness = leadingDouble(thickness.c_str());

  // Colour images carry no calibrated intensities: they are refused, not guessed into grey.
  const std::string photometric = textOf(ds, DCM_PhotometricInterpretation);
  if (!photometric.empty() && photometric != "MONOCHROME1" && photometric != "MONOCHROME2") {
    std::fprintf(stderr, "loadDcmFile_dcmtk(): DCMTK-photometric interpretation not supported: %s\n",
                 photometric.c_str());
    setReason(why, "colour image (" + photometric + "): only MONOCHROME1 / MONOCHROME2 slices carry intensities");
    return false;
  }

  DicomImage image(ds, EXS_LittleEndianExplicit, 0UL, 0UL, 1UL);
  if (image.getStatus() != EIS_Normal) {
    std::fprintf(stdout, "loadDcmFile_dcmtk(): DCMTK-dcm image load error: \n");
    setReason(why, std::string("the pixel data cannot be decoded (") + DicomImage::getString(image.getStatus()) + ")");
    return false;
  }
  if (!image.isMonochrome()) {
    std::fprintf(stderr, "loadDcmFile_dcmtk(): DCMTK-photometric interpretation not supported: %s\n",
                 photometric.c_str());
    setReason(why, "colour image: only MONOCHROME1 / MONOCHROME2 slices carry intensities");
    return false;
  }

  if (columns <= 0 || rows <= 0 || columns > 65535 || rows > 65535) {
    std::fprintf(stdout, "loadDcmFile_dcmtk(): HU range overflow error: \n");
    setReason(why, "Columns x Rows " + std::to_string(columns) + " x " + std::to_string(rows) + " is no image size");
    return false;
  }
  const std::size_t n = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows);
  image.setMinMaxWindow(0);
  const DiPixel* inter = image.getInterData();
  if (!inter || !inter->getData() || inter->getCount() < n) {
    std::fprintf(stdout, "loadDcmFile_dcmtk(): HU range overflow error: \n");
    setReason(why, "the pixel data hold fewer values than Columns x Rows");
    intensities.clear();
    return false;
  }
  intensities.resizeUninitialized(n);
  const void* data = inter->getData();
  bool fitted = false;
  switch (inter->getRepresentation()) {
    case EPR_Uint8:
      fitted = copyFitting(static_cast<const Uint8*>(data), n, intensities.data(), 0, 255);
      break;
    case EPR_Sint8:
      fitted = copyFitting(static_cast<const Sint8*>(data), n, intensities.data(), -128, 127);
      break;
    case EPR_Sint16:
      fitted = copyFitting(static_cast<const Sint16*>(data), n, intensities.data(), -32768, 32767);
      break;
    case EPR_Uint16:
      fitted = copyFitting(static_cast<const Uint16*>(data), n, intensities.data(), 0, 32767);
      break;
    case EPR_Uint32:
      fitted = copyFitting(static_cast<const Uint32*>(data), n, intensities.data(), 0, 32767);
      break;
    case EPR_Sint32:
      fitted = copyFitting(static_cast<const Sint32*>(data), n, intensities.data(), -32768, 32767);
      break;
    default:
      std::fprintf(stdout, "%d\n", static_cast<int>(inter->getRepresentation()));
      std::fprintf(stdout, "loadDcmFile_dcmtk(): DCMTK-unknown representation error: \n");
      setReason(why, "pixel values of an unknown representation");
      intensities.clear();
      return false;
  }
  if (!fitted) {
    std::fprintf(stdout, "loadDcmFile_dcmtk(): HU range overflow error: \n");
    setReason(why, "no pixel value fits 16-bit intensities");
    intensities.clear();
    return false;
  }
  *width = static_cast<int>(columns);
  *height = static_cast<int>(rows);
  return true;
}

}  // namespace

void initDicomCodecs() {
  static std::once_flag once;
  std::call_once(once, [] {
    OFLog::configure(OFLogger::OFF_LOG_LEVEL);
    DcmRLEDecoderRegistration::registerCodecs();
    DJDecoderRegistration::registerCodecs();
    DJLSDecoderRegistration::registerCodecs();
    std::atexit(cleanupCodecs);
  });
}

bool hasDicomPreamble(const char* path) {
  std::ifstream in(path, std::ios::binary);
  char buf[132];
  if (!in.read(buf, sizeof buf)) return false;
  return std::memcmp(buf + 128, "DICM", 4) == 0;
}

SliceFormat sliceFormatOf(const char* path) {
  const std::string ext = fileExtension(path);
  if (ext == "dcm") return SliceFormat::Dicom;
  if (ext == "txt") return SliceFormat::Skip;
  if (isRasterExtension(ext)) return SliceFormat::Raster;
  if (hasDicomPreamble(path)) return SliceFormat::Dicom;
  return ext.empty() ? SliceFormat::Skip : SliceFormat::Raster;
}

struct SliceFile::Impl {
  std::string path;
  SliceFormat format = SliceFormat::Skip;
  SliceHeader header;
  DcmFileFormat dicom;
  cv::Mat raster;
  std::string refusal;  // set when the header was read but the pixels must not be decoded
  std::string failure;  // why open or decode failed, in words for the user
  // The refusal without the path it starts with.
  std::string refusalReason() const {
    return refusal.compare(0, path.size() + 2, path + ": ") == 0 ? refusal.substr(path.size() + 2) : refusal;
  }
};

SliceFile::SliceFile() : d_(std::make_unique<Impl>()) {}
SliceFile::~SliceFile() = default;

const SliceHeader& SliceFile::header() const { return d_->header; }
const std::string& SliceFile::failure() const { return d_->failure; }
SliceFormat SliceFile::format() const { return d_->format; }

bool SliceFile::open(const char* path) {
  if (!path) return false;
  initDicomCodecs();
  d_->path = path;
  d_->format = sliceFormatOf(path);
  d_->refusal.clear();
  d_->failure.clear();
  SliceHeader& h = d_->header;
  h = SliceHeader();
  assignText(h.filePath, path);
  switch (d_->format) {
    case SliceFormat::Skip:
      return false;
    case SliceFormat::Dicom: {
      OFCondition cond = parseDicom(d_->dicom, path);
      if (cond.good()) {
        // A refused claim skips the conversion, which would decompress to the claimed size.
        const std::string why = pixelDataRefusal(d_->dicom.getDataset());
        if (!why.empty())
          d_->refusal = d_->path + ": " + why;
        else
          cond = toNativeRepresentation(d_->dicom.getDataset(), d_->path, d_->refusal);
      }
      if (cond.bad()) {
        logCondition(stderr, "DCMTK error: ", cond);
        d_->failure = std::string("not a DICOM file this program can read (") + cond.text() + ")";
        return false;
      }
      readDicomHeader(d_->dicom.getDataset(), h);
      readDicomGeometry(d_->dicom.getDataset(), h);
      assignText(h.fileName, stripExtension(baseName(path)));
      return true;
    }
    case SliceFormat::Raster: {
      GreyRaster read = readGreyRaster(path);
      if (read.image.empty() && read.reason.empty()) {  // no image at all: skipped
        d_->failure = "neither DICOM nor an image this program can read";
        return false;
      }
      d_->raster = read.image;
      d_->refusal = read.reason;
      rasterHeaderFromFileName(path, h);
      h.width = read.image.empty() ? read.claimed.width : read.image.cols;
      h.height = read.image.empty() ? read.claimed.height : read.image.rows;
      h.pixelSpacing = h.sliceThickness = 0.0f;
      h.windowCenter = 128;
      h.windowWidth = 255;
      return true;
    }
  }
  return false;
}

bool SliceFile::decode(SlicePixels& out, const WarningSink& warn) {
  switch (d_->format) {
    case SliceFormat::Dicom: {
      if (!d_->refusal.empty()) {
        logPixelDataRefusal(d_->refusal);
        d_->failure = d_->refusalReason();
        return false;
      }
      int instance = -1;
      double sx = 0, sy = 0, thickness = 0;
      return decodeDicomDataset(d_->dicom, &out.width, &out.height, out.intensities, &instance, &sx, &sy,
                                &thickness, &d_->failure);
    }
    case SliceFormat::Raster: {
      if (!isRasterExtension(fileExtension(d_->path))) {
        if (warn) warn(kUnsupportedExtension);
        d_->failure = "images are read as slices from .jpg, .png and .bmp files only";
        return false;
      }
      if (!d_->refusal.empty()) {
        std::fprintf(stderr, "loadPixels(): %s\n", d_->refusal.c_str());
        d_->failure = d_->refusalReason();
        return false;
      }
      const cv::Mat& img = d_->raster;
      out.width = img.cols;
      out.height = img.rows;
      out.intensities.resizeUninitialized(static_cast<std::size_t>(img.cols) * static_cast<std::size_t>(img.rows));
      for (int y = 0; y < img.rows; ++y) {
        const uint8_t* row = img.ptr<uint8_t>(y);
        int16_t* dst = out.intensities.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(img.cols);
        for (int x = 0; x < img.cols; ++x) dst[x] = row[x];
      }
      return true;
    }
    case SliceFormat::Skip:
      break;
  }
  return false;
}

bool loadDcmFile_dcmtk(const char* path, int* width, int* height, std::vector<int16_t>& intensities,
                       int* instanceNumber, double* spacingX, double* spacingY, double* sliceThickness) {
  initDicomCodecs();
  DcmFileFormat ff;
  OFCondition cond = parseDicom(ff, path);
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-loadDcm error: ", cond);
    return false;
  }
  const std::string why = pixelDataRefusal(ff.getDataset());
  if (!why.empty()) {
    logPixelDataRefusal(std::string(path) + ": " + why);
    return false;
  }
  std::string refusal;
  cond = toNativeRepresentation(ff.getDataset(), path, refusal);
  if (!refusal.empty()) {
    logPixelDataRefusal(refusal);
    return false;
  }
  if (cond.bad()) {
    logCondition(stderr, "loadDcmFile_dcmtk(): DCMTK-chooseRepresentation error: ", cond);
    return false;
  }
  ImageBuffer<int16_t> buffer;
  if (!decodeDicomDataset(ff, width, height, buffer, instanceNumber, spacingX, spacingY, sliceThickness)) return false;
  intensities.assign(buffer.begin(), buffer.end());
  return true;
}

bool loadPixels(const char* path, SlicePixels& out, const WarningSink& warn) {
  const std::string ext = fileExtension(path ? path : "");
  if (ext == "dcm") {
    int instance = -1;
    double sx = 0, sy = 0, thickness = 0;
    std::vector<int16_t> values;
    if (!loadDcmFile_dcmtk(path, &out.width, &out.height, values, &instance, &sx, &sy, &thickness)) return false;
    out.intensities.assign(values.data(), values.size());
    return true;
  }
  if (!isRasterExtension(ext)) {
    if (warn) warn(kUnsupportedExtension);
    return false;
  }
  SliceFile file;
  return file.open(path) && file.decode(out, warn);
}

}  // namespace morvex
