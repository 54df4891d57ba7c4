#include "export/dicom_seg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <new>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmfg/fgderimg.h>
#include <dcmtk/dcmfg/fgfracon.h>
#include <dcmtk/dcmfg/fgpixmsr.h>
#include <dcmtk/dcmfg/fgplanor.h>
#include <dcmtk/dcmfg/fgplanpo.h>
#include <dcmtk/dcmfg/fgseg.h>
#include <dcmtk/dcmiod/cielabutil.h>
#include <dcmtk/dcmseg/segdoc.h>
#include <dcmtk/dcmseg/segment.h>
#include <dcmtk/dcmseg/segutils.h>

#include "export/atomic_file.h"
#include "export/nifti_io.h"

namespace morvex {

namespace {

std::string decimal(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// Segmented property category and type of a label (SNOMED CT codes), by the label's value.
struct PropertyCodes {
  const char *categoryCode, *categoryMeaning, *typeCode, *typeMeaning;
};
PropertyCodes codesOf(int value) {
  switch (value) {
    case kLiver: case kLiverLeft: case kLiverRight:
      return {"123037004", "Anatomical Structure", "10200004", "Liver"};
    case kVessel: case kVesselLeft: case kVesselRight:
      return {"123037004", "Anatomical Structure", "59820001", "Blood vessel"};
    case kCancer:
      return {"49755003", "Morphologically Altered Structure", "108369006", "Neoplasm"};
    default:
      return {"85756007", "Tissue", "85756007", "Tissue"};
  }
}

// SOP Class UID of a slice file, read without its pixel data.
std::string sopClassOf(const std::string& path) {
  DcmFileFormat ff;
  OFString value;
  if (ff.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 256).bad() ||
      ff.getDataset()->findAndGetOFString(DCM_SOPClassUID, value).bad())
    return {};
  return value.c_str();
}

struct SegDeleter {
  void operator()(DcmSegmentation* s) const { delete s; }
};
using SegPtr = std::unique_ptr<DcmSegmentation, SegDeleter>;

bool fail(std::string& error, const std::string& path, const std::string& why) {
  error = path + ": " + why;
  return false;
}

bool addSegments(DcmSegmentation& seg, const Study& study, const SeriesGrid& grid, const LabelTable& table,
                 std::map<int, Uint16>& segmentOf, std::string& why) {
  bool present[256] = {};
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  for (int f : grid.frames)
    for (std::size_t p = 0; p < plane; ++p) present[study.labelImage(f)[p]] = true;
  for (int v = 1; v < 256; ++v) {
    if (!present[v]) continue;
    const LabelInfo* info = table.byValue(v);
    if (!info) {
      why = "label value " + std::to_string(v) + " is not in the label table";
      return false;
    }
    const PropertyCodes c = codesOf(v);
    DcmSegment* segment = nullptr;
    if (DcmSegment::create(segment, info->name.c_str(), CodeSequenceMacro(c.categoryCode, "SCT", c.categoryMeaning),
                           CodeSequenceMacro(c.typeCode, "SCT", c.typeMeaning), DcmSegTypes::SAT_SEMIAUTOMATIC, "Morvex")
            .bad()) {
      why = "segment \"" + info->name + "\" cannot be made";
      return false;
    }
    double L, a, b;
    IODCIELabUtil::rgb2DicomLab(L, a, b, info->r / 255.0, info->g / 255.0, info->b / 255.0);
    segment->setRecommendedDisplayCIELabValue(static_cast<Uint16>(L + 0.5), static_cast<Uint16>(a + 0.5),
                                              static_cast<Uint16>(b + 0.5));
    Uint16 number = 0;
    if (seg.addSegment(segment, number).bad()) {
      delete segment;
      why = "segment \"" + info->name + "\" cannot be added";
      return false;
    }
    segmentOf[v] = number;
  }
  if (segmentOf.empty()) {
    why = "the series holds no labels";
    return false;
  }
  return true;
}

bool addFrames(DcmSegmentation& seg, const Study& study, const SeriesGrid& grid, const std::map<int, Uint16>& segmentOf,
               std::string& why) {
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  std::vector<Uint8> mask(plane);
  for (const auto& [value, number] : segmentOf)
    for (std::size_t k = 0; k < grid.frames.size(); ++k) {
      const int f = grid.frames[k];
      const uint8_t* labels = study.labelImage(f);
      bool any = false;
      for (std::size_t p = 0; p < plane; ++p) any |= (mask[p] = labels[p] == value) != 0;
      if (!any) continue;
      const SliceHeader& h = study.frame(f)->header;
      std::unique_ptr<FGPlanePosPatient> position(FGPlanePosPatient::createMinimal(
          decimal(h.imagePosition[0]).c_str(), decimal(h.imagePosition[1]).c_str(), decimal(h.imagePosition[2]).c_str()));
      FGFrameContent content;
      content.setDimensionIndexValues(number, 0);
      content.setDimensionIndexValues(static_cast<Uint32>(k + 1), 1);
      ImageSOPInstanceReferenceMacro reference;
      reference.setReferencedSOPClassUID(sopClassOf(h.filePath).c_str());
      reference.setReferencedSOPInstanceUID(h.sopInstanceUid.c_str());
      std::unique_ptr<FGDerivationImage> derivation(DcmSegmentation::createDerivationImageFG(
          OFVector<ImageSOPInstanceReferenceMacro>(1, reference), "Labelled on the Morvex workstation"));
      if (!position || !derivation) {
        why = "the frame information of slice " + std::to_string(k + 1) + " cannot be made";
        return false;
      }
      OFVector<FGBase*> perFrame;
      perFrame.push_back(position.get());
      perFrame.push_back(&content);
      perFrame.push_back(derivation.get());
      if (seg.addFrame(mask.data(), number, perFrame).bad()) {
        why = "frame " + std::to_string(k + 1) + " cannot be added";
        return false;
      }
    }
  return true;
}

bool addSharedGroups(DcmSegmentation& seg, const SliceHeader& h, const SeriesGrid& grid) {
  const double* o = h.imageOrientation;
  std::unique_ptr<FGPlaneOrientationPatient> orientation(FGPlaneOrientationPatient::createMinimal(
      decimal(o[0]).c_str(), decimal(o[1]).c_str(), decimal(o[2]).c_str(), decimal(o[3]).c_str(),
      decimal(o[4]).c_str(), decimal(o[5]).c_str()));
  FGPixelMeasures measures;
  const double step = std::sqrt(grid.affine[0][2] * grid.affine[0][2] + grid.affine[1][2] * grid.affine[1][2] +
                                grid.affine[2][2] * grid.affine[2][2]);
  measures.setPixelSpacing((decimal(h.pixelSpacingRow) + "\\" + decimal(h.pixelSpacingColumn)).c_str());
  measures.setSliceThickness(decimal(h.sliceThickness > 0 ? h.sliceThickness : step).c_str());
  measures.setSpacingBetweenSlices(decimal(step).c_str());
  char uid[100];
  dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
  IODMultiframeDimensionModule& dims = seg.getDimensions();
  return orientation && seg.addForAllFrames(*orientation).good() && seg.addForAllFrames(measures).good() &&
         dims.addDimensionIndex(DCM_ReferencedSegmentNumber, uid, DCM_SegmentIdentificationSequence, "ReferencedSegmentNumber").good() &&
         dims.addDimensionIndex(DCM_ImagePositionPatient, uid, DCM_PlanePositionSequence, "ImagePositionPatient").good();
}

}  // namespace

bool canWriteDicomSeg(const Study& study, int group, std::string* why) {
  SeriesGrid grid;
  std::string error;
  if (!seriesGrid(study, group, grid, error)) {
    if (why) *why = error;
    return false;
  }
  if (!grid.patientGeometry) {
    if (why) *why = "the series has no patient positions";
    return false;
  }
  bool labelled = false;
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  for (int f : grid.frames) {
    const SliceHeader& h = study.frame(f)->header;
    if (h.sopInstanceUid.empty() || h.studyInstanceUid.empty()) {
      if (why) *why = h.fileName + " carries no SOP Instance or Study UID";
      return false;
    }
    const uint8_t* l = study.labelImage(f);
    labelled = labelled || std::any_of(l, l + plane, [](uint8_t v) { return v != 0; });
  }
  if (!labelled && why) *why = "the series holds no labels";
  return labelled;
}

bool isDicomSeg(const std::string& path) {
  DcmFileFormat ff;
  OFString value;
  return ff.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 256).good() &&
         ff.getDataset()->findAndGetOFString(DCM_SOPClassUID, value).good() && value == UID_SegmentationStorage;
}

bool loadDicomSeg(const std::string& path, Study& study, int group, const LabelTable& table, std::string& error) {
  std::vector<std::vector<uint8_t>> labels;
  try {
    if (!readDicomSeg(path, study, group, table, labels, error)) return false;
  } catch (const std::bad_alloc&) {
    return fail(error, path, "out of memory");
  }
  const int first = study.firstFrameOfSeries(group);
  std::size_t i = 0;
  for (int f = first; f >= 0 && f <= study.lastFrameOfSeries(group); ++f)
    if (study.seriesOfFrame(f) == group) study.setLabelImage(f, labels[i++].data(), study.width(f), study.height(f));
  return true;
}

bool writeDicomSeg(const std::string& path, const Study& study, int group, const LabelTable& table, std::string& error) {
  std::string why;
  if (!canWriteDicomSeg(study, group, &why)) return fail(error, path, why);
  SeriesGrid grid;
  seriesGrid(study, group, grid, why);
  if (grid.width > 65535 || grid.height > 65535) return fail(error, path, "slices too large");
  const SliceHeader& first = study.frame(grid.frames.front())->header;
  try {
    DcmSegmentation* raw = nullptr;
    const OFCondition made = DcmSegmentation::createBinarySegmentation(
        raw, static_cast<Uint16>(grid.height), static_cast<Uint16>(grid.width),
        IODGeneralEquipmentModule::EquipmentInfo("Morvex", "Morvex Workstation", "1", "1.61"),
        ContentIdentificationMacro("1", "LABELS", "Labels of the Morvex workstation", "Morvex"));
    SegPtr seg(raw);
    if (made.bad() || !seg) return fail(error, path, "the segmentation cannot be made");
    if (seg->importFromSourceImage(first.filePath.c_str()).bad())
      return fail(error, path, "patient and study cannot be taken from " + first.filePath);
    char uid[100];
    seg->getSeries().setSeriesInstanceUID(dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
    seg->getSeries().setSeriesNumber("300");
    std::map<int, Uint16> segmentOf;
    if (!addSharedGroups(*seg, first, grid)) return fail(error, path, "the shared frame information cannot be made");
    if (!addSegments(*seg, study, grid, table, segmentOf, why) || !addFrames(*seg, study, grid, segmentOf, why))
      return fail(error, path, why);
    AtomicFile file(path, false);
    const OFCondition saved = seg->saveFile(file.tempPath().c_str());
    if (saved.bad()) return fail(error, path, std::string("DCMTK: ") + saved.text());
    if (!file.commit()) return fail(error, path, "the file could not be written");
  } catch (const std::bad_alloc&) {
    return fail(error, path, "out of memory");
  }
  return true;
}

bool readDicomSeg(const std::string& path, const Study& study, int group, const LabelTable& table,
                  std::vector<std::vector<uint8_t>>& labels, std::string& error) {
  labels.clear();
  SeriesGrid grid;
  std::string why;
  if (!seriesGrid(study, group, grid, why)) return fail(error, path, why);
  std::vector<int> frames = grid.frames;
  std::sort(frames.begin(), frames.end());
  std::map<std::string, std::size_t> slot;
  for (std::size_t i = 0; i < frames.size(); ++i) slot[study.frame(frames[i])->header.sopInstanceUid] = i;
  DcmFileFormat ff;
  if (ff.loadFile(path.c_str()).bad()) return fail(error, path, "not a readable DICOM file");
  Uint16 rows = 0, columns = 0;
  ff.getDataset()->findAndGetUint16(DCM_Rows, rows);
  ff.getDataset()->findAndGetUint16(DCM_Columns, columns);
  if (rows != grid.height || columns != grid.width)
    return fail(error, path, "frames of " + std::to_string(columns) + " x " + std::to_string(rows) +
                                 " do not match the series' " + std::to_string(grid.width) + " x " + std::to_string(grid.height));
  DcmSegmentation* raw = nullptr;
  if (DcmSegmentation::loadDataset(*ff.getDataset(), raw).bad() || !raw)
    return fail(error, path, "not a readable DICOM Segmentation");
  SegPtr seg(raw);
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  if (seg->getSegmentationType() != DcmSegTypes::ST_BINARY) return fail(error, path, "only binary segmentations are read");
  std::vector<std::vector<uint8_t>> out(frames.size(), std::vector<uint8_t>(plane, 0));
  FGInterface& groups = seg->getFunctionalGroups();
  for (std::size_t i = 0; i < seg->getNumberOfFrames(); ++i) {
    auto* s = static_cast<FGSegmentation*>(groups.get(static_cast<Uint32>(i), DcmFGTypes::EFG_SEGMENTATION));
    auto* d = static_cast<FGDerivationImage*>(groups.get(static_cast<Uint32>(i), DcmFGTypes::EFG_DERIVATIONIMAGE));
    Uint16 number = 0;
    OFString name, sop;
    DcmSegment* segment = nullptr;
    if (!s || s->getReferencedSegmentNumber(number).bad() || !(segment = seg->getSegment(number)) ||
        segment->getSegmentLabel(name).bad())
      return fail(error, path, "frame " + std::to_string(i + 1) + " names no segment");
    const int value = table.getLabelIdx(name.c_str());
    if (value < 1 || value > 255) return fail(error, path, "segment \"" + std::string(name.c_str()) + "\" is no label of the table");
    if (d && !d->getDerivationImageItems().empty() && !d->getDerivationImageItems()[0]->getSourceImageItems().empty())
      d->getDerivationImageItems()[0]->getSourceImageItems()[0]->getImageSOPInstanceReference().getReferencedSOPInstanceUID(sop);
    const auto target = slot.find(sop.c_str());
    if (target == slot.end()) return fail(error, path, "frame " + std::to_string(i + 1) + " references no slice of the series");
    const DcmIODTypes::Frame* packed = seg->getFrame(i);
    std::unique_ptr<DcmIODTypes::Frame> bits(packed ? DcmSegUtils::unpackBinaryFrame(packed, rows, columns) : nullptr);
    if (!bits || bits->length < plane) return fail(error, path, "frame " + std::to_string(i + 1) + " holds too few pixels");
    std::vector<uint8_t>& l = out[target->second];
    for (std::size_t p = 0; p < plane; ++p) {
      if (!bits->pixData[p]) continue;
      if (l[p] && l[p] != value) return fail(error, path, "segments overlap on frame " + std::to_string(i + 1));
      l[p] = static_cast<uint8_t>(value);
    }
  }
  labels = std::move(out);
  return true;
}

}  // namespace morvex
