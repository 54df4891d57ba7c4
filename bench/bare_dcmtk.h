#pragma once
// The reference the import benchmarks compare against: a bare DCMTK load and decode (modality
// transform) of one file, its values copied out. False when the file is not a 16-bit signed slice.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmimgle/dcmimage.h"
#include "dcmtk/dcmimgle/dipixel.h"

inline bool bareDcmtkDecode(const std::string& path, std::vector<int16_t>& out) {
  DcmFileFormat ff;
  if (ff.loadFile(path.c_str()).bad()) return false;
  DicomImage image(ff.getDataset(), ff.getDataset()->getOriginalXfer(), 0UL, 0UL, 1UL);
  const DiPixel* inter = image.getInterData();
  if (!inter || inter->getRepresentation() != EPR_Sint16) return false;
  out.resize(inter->getCount());
  std::memcpy(out.data(), inter->getData(), out.size() * sizeof(int16_t));
  return true;
}
