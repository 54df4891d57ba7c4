#pragma once
// A main window on a private copy of the small synthetic series (true liver, vessel and tumour
// labels loaded), with its warnings collected, and counts over the labels and selection.

#include <QStringList>
#include <filesystem>
#include <functional>

#include "tests/testing_support.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace morvex::testing {

struct AnalysisWindow {
  TempDir dir;
  std::string series;
  QStringList warnings;
  Morvex main;
  AnalysisWindow() {
    morvex::setWarningInterceptor([this](const QString& text) { warnings << text; });
    series = dir.file("series");
    std::filesystem::copy(smallSyntheticSeries(), series);
    main.openPaths({QString::fromStdString(series)});
  }
  ~AnalysisWindow() { morvex::setWarningInterceptor({}); }

  // Visits every pixel of the shown series: fn(intensity, label, selection).
  void forEachPixel(const std::function<void(int, uint8_t, uint8_t)>& fn) {
    Study& s = main.study();
    const int g = s.seriesOfFrame(main.currentFrame());
    for (int f = s.firstFrameOfSeries(g); f >= 0 && f <= s.lastFrameOfSeries(g); ++f)
      for (int p = 0; p < s.width(f) * s.height(f); ++p)
        fn(s.intensities(f)[p], s.labelImage(f)[p], s.selectionImage(f)[p]);
  }
  // Whole-liver pixels (labels 1, 4, 5) whose intensity passes keep.
  long liverPixels(const std::function<bool(int)>& keep) {
    long n = 0;
    forEachPixel([&](int v, uint8_t l, uint8_t) { n += (l == 1 || l == 4 || l == 5) && keep(v); });
    return n;
  }
  long selectedPixels() {
    long n = 0;
    forEachPixel([&](int, uint8_t, uint8_t s) { n += s != 0; });
    return n;
  }
  long selectedOutsideLiver() {
    long n = 0;
    forEachPixel([&](int, uint8_t l, uint8_t s) { n += s != 0 && l != 1 && l != 4 && l != 5; });
    return n;
  }
  long labelCount(uint8_t label) {
    long n = 0;
    forEachPixel([&](int, uint8_t l, uint8_t) { n += l == label; });
    return n;
  }
  std::vector<std::vector<uint8_t>> labelsOfSeries() { return allLabels(main.study()); }
};

}  // namespace morvex::testing
