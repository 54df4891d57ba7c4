#include "export/dicom_seg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <new>

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcbytstr.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcxfer.h>
#include <dcmtk/dcmfg/fgderimg.h>
#include <dcmtk/dcmfg/fgfracon.h>
#include <dcmtk/dcmfg/fgpixmsr.h>
#include <dcmtk/dcmfg/fgplanor.h>
#include <dcmtk/dcmfg/fgplanpo.h>
#include <dcmtk/dcmfg/fgseg.h>
#include <dcmtk/dcmiod/cielabutil.h>
#include <dcmtk/dcmiod/iodreferences.h>
#include <dcmtk/dcmseg/segdoc.h>
#include <dcmtk/dcmseg/segment.h>

#include "export/atomic_file.h"
#include "export/nifti_io.h"

namespace morvex {

namespace {

// Compressed frames are decoded whole: a file may claim no more than this many bytes of them.
constexpr std::size_t kMaxDecodedBytes = std::size_t{256} << 20;

std::string decimal(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// Segmented property category, type and laterality of a label (SNOMED CT codes), by the label's name
// in the default table; other labels are plain tissue, matched by name only.
struct PropertyCodes {
  const char *categoryCode, *categoryMeaning, *typeCode, *typeMeaning;
  const char *modifierCode = nullptr, *modifierMeaning = nullptr;
};
constexpr PropertyCodes kTissue = {"85756007", "Tissue", "85756007", "Tissue"};
PropertyCodes codesOf(const std::string& name) {
  static const std::map<std::string, PropertyCodes> known = {
      {"Liver", {"123037004", "Anatomical Structure", "10200004", "Liver"}},
      {"Liver(Left)", {"123037004", "Anatomical Structure", "10200004", "Liver", "7771000", "Left"}},
      {"Liver(Right)", {"123037004", "Anatomical Structure", "10200004", "Liver", "24028007", "Right"}},
      {"Vessel", {"123037004", "Anatomical Structure", "59820001", "Blood vessel"}},
      {"Vessel(Left)", {"123037004", "Anatomical Structure", "59820001", "Blood vessel", "7771000", "Left"}},
      {"Vessel(Right)", {"123037004", "Anatomical Structure", "59820001", "Blood vessel", "24028007", "Right"}},
      {"Cancer", {"49755003", "Morphologically Altered Structure", "108369006", "Neoplasm"}},
  };
  const auto it = known.find(name);
  return it == known.end() ? kTissue : it->second;
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

std::string attributeName(const DcmTagKey& key) {
  return std::string(DcmTag(key).getTagName()) + " " + key.toString().c_str();
}

// Removes the NUL bytes and spaces that pad the values of the dataset's text attributes (some
// archives pad with NUL where the standard asks for a space). Free texts are one value each.
void cleanPadding(DcmItem& dataset) {
  for (unsigned long i = 0; i < dataset.card(); ++i) {
    auto* text = dynamic_cast<DcmByteString*>(dataset.getElement(i));
    char* raw = nullptr;
    Uint32 length = 0;
    if (!text || text->getString(raw, length).bad() || !raw) continue;
    const DcmEVR vr = text->ident();
    const bool oneValue = vr == EVR_LT || vr == EVR_ST || vr == EVR_UT || vr == EVR_UR;
    std::string values(raw, length), cleaned;
    std::size_t start = 0;
    while (start <= values.size()) {
      std::size_t end = oneValue ? std::string::npos : values.find('\\', start);
      if (end == std::string::npos) end = values.size();
      std::string v = values.substr(start, end - start);
      while (!v.empty() && (v.back() == '\0' || v.back() == ' ')) v.pop_back();
      cleaned += (start ? "\\" : "") + v;
      start = end + 1;
    }
    if (cleaned != values) text->putOFStringArray(cleaned.c_str());
  }
}

// Patient, study and frame of reference of the segmentation, taken from the series' first slice with
// their padding cleaned. A value still invalid is left out when the attribute is optional; otherwise
// the reason names it and the file.
bool importSource(DcmSegmentation& seg, const SliceHeader& first, std::string& why) {
  DcmFileFormat source;
  if (source.loadFile(first.filePath.c_str(), EXS_Unknown, EGL_noChange, 256).bad()) {
    why = "patient and study cannot be taken from " + first.filePath;
    return false;
  }
  cleanPadding(*source.getDataset());
  if (seg.importFromSourceImage(*source.getDataset()).bad()) {
    why = "patient and study cannot be taken from " + first.filePath;
    return false;
  }
  DcmItem& data = *seg.getData();
  for (unsigned long i = data.card(); i-- > 0;) {
    DcmElement* e = data.getElement(i);
    if (!e || e->getLength() == 0 || e->ident() == EVR_SQ) continue;
    const IODRule* rule = seg.getRules()->getByTag(e->getTag());
    if (e->checkValue(rule ? rule->getVM() : "1-n").good()) continue;
    const DcmTagKey key = e->getTag();
    if (rule && rule->getType() != "3") {
      why = "the value of " + attributeName(key) + " in " + first.filePath + " is invalid";
      return false;
    }
    delete data.remove(i);
    std::fprintf(stderr, "writeDicomSeg(): the invalid value of %s in %s is left out\n", attributeName(key).c_str(),
                 first.filePath.c_str());
  }
  return true;
}

bool addSegments(DcmSegmentation& seg, const Study& study, const SeriesGrid& grid, const LabelTable& table,
                 std::map<int, Uint16>& segmentOf, std::string& why) {
  bool present[256] = {};
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  for (int f : grid.frames) {
    const uint8_t* labels = study.labelImage(f);
    for (std::size_t p = 0; p < plane; ++p) present[labels[p]] = true;
  }
  for (int v = 1; v < 256; ++v) {
    if (!present[v]) continue;
    const LabelInfo* info = table.byValue(v);
    if (!info) {
      why = "label value " + std::to_string(v) + " is not in the label table";
      return false;
    }
    const PropertyCodes c = codesOf(info->name);
    DcmSegment* segment = nullptr;
    if (DcmSegment::create(segment, info->name.c_str(), CodeSequenceMacro(c.categoryCode, "SCT", c.categoryMeaning),
                           CodeSequenceMacro(c.typeCode, "SCT", c.typeMeaning), DcmSegTypes::SAT_SEMIAUTOMATIC, "Morvex")
            .bad()) {
      why = "segment \"" + info->name + "\" cannot be made";
      return false;
    }
    if (c.modifierCode)
      segment->getSegmentedPropertyTypeModifierCode().push_back(new CodeSequenceMacro(c.modifierCode, "SCT", c.modifierMeaning));
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

// One frame per label and slice that holds it, with its position, its dimension indices (segment
// number, slice number from 1 in position order) and a reference to its slice. referenced[k] is
// set for every slice k that a frame references.
bool addFrames(DcmSegmentation& seg, const Study& study, const SeriesGrid& grid, const std::map<int, Uint16>& segmentOf,
               const std::vector<std::string>& sopClasses, std::vector<bool>& referenced, std::string& why) {
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  std::vector<Uint8> mask(plane);
  referenced.assign(grid.frames.size(), false);
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
      reference.setReferencedSOPClassUID(sopClasses[k].c_str());
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
      referenced[k] = true;
    }
  return true;
}

// Distance between neighbouring slices along the slice normal (the spacing of their positions, which
// may differ from their thickness).
double sliceSpacing(const SeriesGrid& grid, const double normal[3]) {
  return std::fabs(grid.affine[0][2] * normal[0] + grid.affine[1][2] * normal[1] + grid.affine[2][2] * normal[2]);
}

void normalOf(const double* o, double n[3]) {
  n[0] = o[1] * o[5] - o[2] * o[4];
  n[1] = o[2] * o[3] - o[0] * o[5];
  n[2] = o[0] * o[4] - o[1] * o[3];
}

bool addSharedGroups(DcmSegmentation& seg, const SliceHeader& h, const SeriesGrid& grid) {
  const double* o = h.imageOrientation;
  std::unique_ptr<FGPlaneOrientationPatient> orientation(FGPlaneOrientationPatient::createMinimal(
      decimal(o[0]).c_str(), decimal(o[1]).c_str(), decimal(o[2]).c_str(), decimal(o[3]).c_str(),
      decimal(o[4]).c_str(), decimal(o[5]).c_str()));
  FGPixelMeasures measures;
  double normal[3];
  normalOf(o, normal);
  const double step = sliceSpacing(grid, normal);
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

// The referenced slices in the Common Instance Reference module (series and instances).
void addReferences(DcmSegmentation& seg, const Study& study, const SeriesGrid& grid,
                   const std::vector<std::string>& sopClasses, const std::vector<bool>& referenced) {
  IODReferences references;
  const SliceHeader& first = study.frame(grid.frames.front())->header;
  for (std::size_t k = 0; k < grid.frames.size(); ++k) {
    if (!referenced[k]) continue;
    const SliceHeader& h = study.frame(grid.frames[k])->header;
    references.add(new IODImageReference(h.patientId.c_str(), h.studyInstanceUid.c_str(), h.seriesInstanceUid.c_str(),
                                         h.sopInstanceUid.c_str(), sopClasses[k].c_str()));
  }
  seg.getCommonInstanceReference().addReferences(references, first.studyInstanceUid.c_str());
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
    if (h.sopInstanceUid.empty() || h.studyInstanceUid.empty() || h.seriesInstanceUid.empty()) {
      if (why) *why = h.fileName + " carries no SOP Instance, Series Instance or Study UID";
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
    // Content Creator's Name stays empty: it names a person, and the labels' author is not known.
    const OFCondition made = DcmSegmentation::createBinarySegmentation(
        raw, static_cast<Uint16>(grid.height), static_cast<Uint16>(grid.width),
        IODGeneralEquipmentModule::EquipmentInfo("Morvex", "Morvex Workstation", "1", "1.61"),
        ContentIdentificationMacro("1", "LABELS", "Labels of the Morvex workstation", ""));
    SegPtr seg(raw);
    if (made.bad() || !seg) return fail(error, path, "the segmentation cannot be made");
    if (!importSource(*seg, first, why)) return fail(error, path, why);
    char uid[100];
    if (first.frameOfReferenceUid.empty()) {
      // One new frame of reference for the segmentation and all its frames.
      seg->getFrameOfReference().setFrameOfReferenceUID(dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT));
      std::fprintf(stderr, "writeDicomSeg(): %s: the series carries no Frame of Reference UID; the segmentation uses %s\n",
                   path.c_str(), uid);
    }
    seg->getSeries().setSeriesInstanceUID(dcmGenerateUniqueIdentifier(uid, SITE_SERIES_UID_ROOT));
    seg->getSeries().setSeriesNumber("300");
    std::vector<std::string> sopClasses;
    for (int f : grid.frames) sopClasses.push_back(sopClassOf(study.frame(f)->header.filePath));
    std::map<int, Uint16> segmentOf;
    std::vector<bool> referenced;
    if (!addSharedGroups(*seg, first, grid)) return fail(error, path, "the shared frame information cannot be made");
    if (!addSegments(*seg, study, grid, table, segmentOf, why) ||
        !addFrames(*seg, study, grid, segmentOf, sopClasses, referenced, why))
      return fail(error, path, why);
    addReferences(*seg, study, grid, sopClasses, referenced);
    AtomicFile file(path, false);
    const OFCondition saved = seg->saveFile(file.tempPath().c_str());
    if (saved.bad()) return fail(error, path, std::string("DCMTK: ") + saved.text());
    if (!file.commit()) return fail(error, path, "the file could not be written");
  } catch (const std::bad_alloc&) {
    return fail(error, path, "out of memory");
  }
  return true;
}

namespace {

// The label value of each segment (by segment number, from 1): the label of the same name, else the
// one label whose property type (and laterality) codes the segment carries.
bool labelsOfSegments(DcmSegmentation& seg, const LabelTable& table, std::vector<int>& valueOf, std::string& why) {
  valueOf.assign(seg.getNumberOfSegments() + 1, 0);
  for (std::size_t n = 1; n < valueOf.size(); ++n) {
    DcmSegment* segment = seg.getSegment(n);
    OFString name;
    if (!segment || segment->getSegmentLabel(name).bad()) {
      why = "segment " + std::to_string(n) + " has no label";
      return false;
    }
    int value = table.getLabelIdx(name.c_str());
    if (value < 1 || value > 255) {
      OFString type, scheme, modifier;
      segment->getSegmentedPropertyTypeCode().getCodeValue(type);
      segment->getSegmentedPropertyTypeCode().getCodingSchemeDesignator(scheme);
      const auto& modifiers = segment->getSegmentedPropertyTypeModifierCode();
      if (modifiers.size() == 1 && modifiers[0]) modifiers[0]->getCodeValue(modifier);
      value = -1;
      for (const LabelInfo& l : table.labels()) {
        const PropertyCodes c = codesOf(l.name);
        if (l.value > 255 || std::string(c.typeCode) == kTissue.typeCode || scheme != "SCT" || type != c.typeCode ||
            modifiers.size() > 1 || modifier != (c.modifierCode ? c.modifierCode : ""))
          continue;
        value = value < 0 ? l.value : 0;  // two labels of these codes: neither
      }
      if (value < 1) {
        why = "segment \"" + std::string(name.c_str()) + "\" matches no label of the table";
        return false;
      }
    }
    valueOf[n] = value;
  }
  return true;
}

// Reads a segmentation into an object owned by the caller (the toolkit's loader drops, without
// freeing, the object whose reading failed).
class SegmentationReader : public DcmSegmentation {
 public:
  OFCondition readFrom(DcmItem& dataset) { return read(dataset); }
};

// The counts the file claims, checked against what it holds: frames, per-frame items, pixel bytes.
struct FrameLayout {
  long frames = 0;
  int bits = 1;             // 1 for binary, 8 for fractional frames
  Uint16 maxFraction = 1;   // fractional frames: the value of full occupancy
};

bool checkLayout(DcmDataset& ds, std::size_t plane, FrameLayout& layout, std::string& why) {
  OFString type;
  if (ds.findAndGetOFString(DCM_SOPClassUID, type).bad() || type != UID_SegmentationStorage) {
    why = "not a DICOM Segmentation (SOP Class UID " + std::string(type.c_str()) + ")";
    return false;
  }
  ds.findAndGetOFString(DCM_SegmentationType, type);
  if (type == "FRACTIONAL") {
    layout.bits = 8;
    if (ds.findAndGetUint16(DCM_MaximumFractionalValue, layout.maxFraction).bad() || layout.maxFraction == 0) {
      why = "a fractional segmentation without a Maximum Fractional Value";
      return false;
    }
  } else if (type != "BINARY") {
    why = "Segmentation Type \"" + std::string(type.c_str()) + "\" is neither BINARY nor FRACTIONAL";
    return false;
  }
  Sint32 frames = 0;
  ds.findAndGetSint32(DCM_NumberOfFrames, frames);
  DcmSequenceOfItems* perFrame = nullptr;
  const unsigned long items = ds.findAndGetSequence(DCM_PerFrameFunctionalGroupsSequence, perFrame).good() && perFrame
                                  ? perFrame->card()
                                  : 0;
  if (frames < 0 || items != static_cast<unsigned long>(frames)) {
    why = "Number of Frames is " + std::to_string(frames) + " but the per-frame sequence holds " + std::to_string(items) +
          " items";
    return false;
  }
  if (frames == 0) {
    why = "the file holds no frames";
    return false;
  }
  layout.frames = frames;
  const std::size_t needed = (plane * static_cast<std::size_t>(frames) * layout.bits + 7) / 8;
  if (DcmXfer(ds.getOriginalXfer()).isEncapsulated()) {
    if (needed > kMaxDecodedBytes) {
      why = std::to_string(frames) + " compressed frames are too many to decode";
      return false;
    }
    if (ds.chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad() ||
        !ds.canWriteXfer(EXS_LittleEndianExplicit)) {
      why = "its compressed frames cannot be decoded";
      return false;
    }
  }
  DcmElement* pixels = nullptr;
  if (ds.findAndGetElement(DCM_PixelData, pixels).bad() || !pixels || pixels->getLength() < needed) {
    why = "the pixel data holds " + std::to_string(pixels ? pixels->getLength() : 0) + " bytes; its " +
          std::to_string(frames) + " frames need " + std::to_string(needed);
    return false;
  }
  return true;
}

// The slice of the series a frame belongs to: the slice it references, else (no reference) the one
// whose position lies within half a slice spacing along the normal and half a pixel across.
struct SliceFinder {
  std::map<std::string, std::size_t> bySop;
  std::vector<const SliceHeader*> slices;
  double normal[3] = {};
  double spacing = 1, pixel = 1;

  // -1: references no slice of the series; -2: lies on no slice.
  long find(FGInterface& groups, Uint32 i) const {
    auto* d = static_cast<FGDerivationImage*>(groups.get(i, DcmFGTypes::EFG_DERIVATIONIMAGE));
    OFString sop;
    if (d && !d->getDerivationImageItems().empty() && d->getDerivationImageItems()[0] &&
        !d->getDerivationImageItems()[0]->getSourceImageItems().empty() &&
        d->getDerivationImageItems()[0]->getSourceImageItems()[0])
      d->getDerivationImageItems()[0]->getSourceImageItems()[0]->getImageSOPInstanceReference().getReferencedSOPInstanceUID(sop);
    if (!sop.empty()) {
      const auto it = bySop.find(sop.c_str());
      return it == bySop.end() ? -1 : static_cast<long>(it->second);
    }
    auto* p = static_cast<FGPlanePosPatient*>(groups.get(i, DcmFGTypes::EFG_PLANEPOSPATIENT));
    Float64 x[3];
    if (!p || p->getImagePositionPatient(x[0], x[1], x[2]).bad()) return -1;
    for (std::size_t k = 0; k < slices.size(); ++k) {
      double off[3], along = 0;
      for (int a = 0; a < 3; ++a) {
        off[a] = x[a] - slices[k]->imagePosition[a];
        along += off[a] * normal[a];
      }
      double across = 0;
      for (int a = 0; a < 3; ++a) across += (off[a] - along * normal[a]) * (off[a] - along * normal[a]);
      if (std::fabs(along) <= spacing / 2 && std::sqrt(across) <= pixel / 2) return static_cast<long>(k);
    }
    return -2;
  }
};

}  // namespace

bool readDicomSeg(const std::string& path, const Study& study, int group, const LabelTable& table,
                  std::vector<std::vector<uint8_t>>& labels, std::string& error) {
  labels.clear();
  SeriesGrid grid;
  std::string why;
  if (!seriesGrid(study, group, grid, why)) return fail(error, path, why);
  std::vector<int> frames = grid.frames;
  std::sort(frames.begin(), frames.end());
  SliceFinder finder;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const SliceHeader& h = study.frame(frames[i])->header;
    finder.bySop[h.sopInstanceUid] = i;
    finder.slices.push_back(&h);
  }
  const SliceHeader& first = *finder.slices.front();
  normalOf(first.imageOrientation, finder.normal);
  finder.spacing = grid.frames.size() > 1 ? sliceSpacing(grid, finder.normal) : std::max<double>(first.sliceThickness, 1.0);
  finder.pixel = std::min(first.pixelSpacingRow, first.pixelSpacingColumn);
  if (!(finder.pixel > 0)) finder.pixel = 1;

  DcmFileFormat ff;
  if (ff.loadFile(path.c_str()).bad()) return fail(error, path, "not a readable DICOM file");
  DcmDataset& ds = *ff.getDataset();
  Uint16 rows = 0, columns = 0;
  ds.findAndGetUint16(DCM_Rows, rows);
  ds.findAndGetUint16(DCM_Columns, columns);
  if (rows != grid.height || columns != grid.width)
    return fail(error, path, "frames of " + std::to_string(columns) + " x " + std::to_string(rows) +
                                 " do not match the series' " + std::to_string(grid.width) + " x " + std::to_string(grid.height));
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  FrameLayout layout;
  if (!checkLayout(ds, plane, layout, why)) return fail(error, path, why);
  auto seg = std::make_unique<SegmentationReader>();
  if (seg->readFrom(ds).bad()) return fail(error, path, "not a readable DICOM Segmentation");
  std::vector<int> valueOf;
  if (!labelsOfSegments(*seg, table, valueOf, why)) return fail(error, path, why);
  // The frames are read from the pixel data checked above, not through the toolkit's frame list.
  DcmElement* pixelData = nullptr;
  Uint8* bytes = nullptr;
  if (ds.findAndGetElement(DCM_PixelData, pixelData).bad() || !pixelData || pixelData->getUint8Array(bytes).bad() ||
      !bytes || pixelData->getLength() < (plane * layout.frames * layout.bits + 7) / 8)
    return fail(error, path, "the pixel data cannot be read");

  std::vector<std::vector<uint8_t>> out(frames.size(), std::vector<uint8_t>(plane, 0));
  FGInterface& groups = seg->getFunctionalGroups();
  for (long i = 0; i < layout.frames; ++i) {
    const std::string frameName = "frame " + std::to_string(i + 1);
    auto* s = static_cast<FGSegmentation*>(groups.get(static_cast<Uint32>(i), DcmFGTypes::EFG_SEGMENTATION));
    Uint16 number = 0;
    if (!s || s->getReferencedSegmentNumber(number).bad() || number < 1 || number >= valueOf.size())
      return fail(error, path, frameName + " names no segment");
    const long slice = finder.find(groups, static_cast<Uint32>(i));
    if (slice == -1) return fail(error, path, frameName + " references no slice of the series");
    if (slice < 0) return fail(error, path, frameName + " lies on no slice of the series");
    const int value = valueOf[number];
    std::vector<uint8_t>& l = out[static_cast<std::size_t>(slice)];
    const std::size_t base = static_cast<std::size_t>(i) * plane;
    for (std::size_t p = 0; p < plane; ++p) {
      const bool set = layout.bits == 1 ? (bytes[(base + p) >> 3] >> ((base + p) & 7)) & 1
                                        : 2u * bytes[base + p] >= layout.maxFraction;
      if (!set) continue;
      if (l[p] && l[p] != value) return fail(error, path, "segments overlap on " + frameName);
      l[p] = static_cast<uint8_t>(value);
    }
  }
  labels = std::move(out);
  return true;
}

}  // namespace morvex
