#include "export/encapsulated_pdf.h"

#include <fstream>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/ofstd/ofdatime.h"

#include "export/atomic_file.h"

namespace morvex {

namespace {

bool fail(std::string* error, const std::string& file, const std::string& why) {
  if (error) *error = file + ": " + why;
  return false;
}

std::string newUid() {
  char uid[100];
  return dcmGenerateUniqueIdentifier(uid, SITE_INSTANCE_UID_ROOT);
}

}  // namespace

bool writeEncapsulatedPdf(const std::string& pdfPath, const std::string& path, const PdfDocumentInfo& info,
                          std::string* error) {
  constexpr std::streamoff kMaxBytes = 512LL << 20;
  std::ifstream in(pdfPath, std::ios::binary | std::ios::ate);
  if (!in) return fail(error, pdfPath, "the report cannot be read");
  const std::streamoff size = in.tellg();
  if (size < 5 || size > kMaxBytes) return fail(error, pdfPath, "not a PDF of a size that can be sent");
  // the element's length must be even: one zero byte pads an odd document
  std::vector<Uint8> bytes(static_cast<std::size_t>(size) + (size % 2));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return fail(error, pdfPath, "the report cannot be read");
  if (std::string(bytes.begin(), bytes.begin() + 5) != "%PDF-") return fail(error, pdfPath, "not a PDF file");

  DcmFileFormat file;
  DcmDataset& ds = *file.getDataset();
  OFDateTime now = OFDateTime::getCurrentDateTime();
  OFString date, time;
  now.getDate().getISOFormattedDate(date, OFFalse);
  now.getTime().getISOFormattedTime(time, OFTrue, OFFalse, OFFalse, OFFalse);
  const std::string study = info.studyInstanceUid.empty() ? newUid() : info.studyInstanceUid;
  const std::pair<DcmTagKey, std::string> values[] = {
      {DCM_SOPClassUID, UID_EncapsulatedPDFStorage},
      {DCM_SOPInstanceUID, newUid()},
      {DCM_StudyInstanceUID, study},
      {DCM_SeriesInstanceUID, newUid()},
      {DCM_PatientName, info.patientName},
      {DCM_PatientID, info.patientId},
      {DCM_PatientBirthDate, info.patientBirthDate},
      {DCM_PatientSex, info.patientSex},
      {DCM_StudyDate, info.studyDate},
      {DCM_StudyTime, ""},
      {DCM_StudyID, ""},
      {DCM_AccessionNumber, info.accessionNumber},
      {DCM_ReferringPhysicianName, ""},
      {DCM_Modality, "DOC"},
      {DCM_SeriesNumber, "900"},
      {DCM_InstanceNumber, "1"},
      {DCM_Manufacturer, "Morvex"},
      {DCM_ContentDate, date.c_str()},
      {DCM_ContentTime, time.c_str()},
      {DCM_AcquisitionDateTime, (std::string(date.c_str()) + time.c_str())},
      {DCM_ConversionType, "WSD"},
      {DCM_BurnedInAnnotation, "YES"},
      {DCM_DocumentTitle, info.title},
      {DCM_MIMETypeOfEncapsulatedDocument, "application/pdf"},
  };
  for (const auto& [tag, value] : values)
    if (ds.putAndInsertString(tag, value.c_str()).bad()) return fail(error, path, "a DICOM attribute cannot be set");
  // the concept name is required but may be empty
  ds.insertEmptyElement(DCM_ConceptNameCodeSequence);
  if (ds.putAndInsertUint8Array(DCM_EncapsulatedDocument, bytes.data(), static_cast<unsigned long>(bytes.size())).bad())
    return fail(error, path, "the document cannot be embedded");
  AtomicFile out(path, false);
  const OFCondition saved = file.saveFile(out.tempPath().c_str(), EXS_LittleEndianExplicit);
  if (saved.bad()) return fail(error, path, std::string("DCMTK: ") + saved.text());
  if (!out.commit()) return fail(error, path, "the file could not be written");
  return true;
}

}  // namespace morvex
