#pragma once
// The generated phantom as a series of a study, for the benchmarks: every slice with its true
// labels, in slice order.

#include <algorithm>

#include "study/study.h"
#include "tools/synthct/phantom.h"

namespace morvex::bench {

// Adds the phantom's slices and labels to study, each with header's fields (patient, date and
// instance number from the phantom); returns the series they form.
inline int addPhantomSeries(Study& study, const synth::PhantomOptions& options, SliceHeader header = {}) {
  const synth::Phantom phantom(options);
  header.patientName = options.patientName;
  header.seriesDate = options.seriesDate;
  int series = -1;
  for (int k = 0; k < options.slices; ++k) {
    const synth::PhantomSlice slice = phantom.slice(k);
    header.instanceNumber = k + 1;
    SlicePixels px;
    px.width = px.height = options.size;
    px.intensities.reset(slice.hu.size());
    std::copy(slice.hu.begin(), slice.hu.end(), px.intensities.data());
    const int f = study.insertFrame(header, std::move(px));
    study.setLabelImage(f, slice.labels.data(), options.size, options.size);
    series = study.seriesOfFrame(f);
  }
  return series;
}

}  // namespace morvex::bench
