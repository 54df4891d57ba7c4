#pragma once
// The patient geometry of a DICOM slice: position, orientation, both pixel spacings, the slice
// spacing and the identifiers that tie a slice to its study and frame of reference.

#include "study/frame.h"

class DcmItem;

namespace morvex {

// Fills the geometry fields of header from a parsed dataset. Values that are missing, cut short
// or not finite leave their field at the default (hasPosition false, zeros, empty UIDs).
void readDicomGeometry(DcmItem* dataset, SliceHeader& header);

}  // namespace morvex
