#pragma once
// A PDF report wrapped as a DICOM Encapsulated PDF object (a new series of the report's study), so
// it can be stored in the archive beside the images it describes.

#include <string>

namespace morvex {

struct PdfDocumentInfo {
  std::string patientName, patientId, patientBirthDate, patientSex;
  std::string studyInstanceUid;  // the study the report belongs to; a new one when empty
  std::string studyDate, accessionNumber;
  std::string title = "Liver volumetry report";
};

// Reads the PDF at pdfPath (at most 512 MB; it must start with "%PDF-") and writes the DICOM
// object to path atomically. False with the reason in error (naming the file); path untouched.
bool writeEncapsulatedPdf(const std::string& pdfPath, const std::string& path, const PdfDocumentInfo& info,
                          std::string* error);

}  // namespace morvex
