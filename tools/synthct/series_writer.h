#pragma once
// Writes the phantom as a DICOM CT series ("IM0001.dcm" ...) with its ground-truth label masks
// in the per-slice mask format ("m_IM0001.png", label-valued 8-bit PNG).

#include <functional>
#include <string>

#include "tools/synthct/phantom.h"

namespace morvex::synth {

// File name (without extension) of slice k: "IM0001" for k = 0.
std::string sliceFileName(int k);

// Writes every slice into folder (created when missing). progress(k) runs after slice k.
// False with a message in error when a file cannot be written.
bool writeSeries(const PhantomOptions& options, const std::string& folder, std::string* error,
                 const std::function<void(int)>& progress = {});

}  // namespace morvex::synth
