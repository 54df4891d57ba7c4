#pragma once
// Helpers shared by the tests: the real sample files, temporary folders, captured output.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace morvex::testing {

// ../shared/data beside the checkout, or "" when this clone has none.
std::string sharedDataDir();
// Full path of a sample file below ../shared/data.
std::string sharedFile(const std::string& relative);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Copies a file into the folder under a new name; returns the new path.
  std::string copyIn(const std::string& source, const std::string& name) const;

 private:
  std::string path_;
};

// A 128 x 128, 24-slice synthetic CT series (same anatomy as the full-size one) written once per process.
const std::string& smallSyntheticSeries();

// Hostile image files: headers claiming huge images over (almost) no pixel data.
// A PNG of signature, IHDR (8-bit grey, valid checksum) and IEND, claiming width x height.
std::string pngClaiming(uint32_t width, uint32_t height);
// A BMP of 8 bits per pixel with a grey palette, claiming width x height, with compression
// (0 none, 1 RLE8) and the given pixel bytes.
std::string bmpClaiming(int32_t width, int32_t height, uint32_t compression, const std::string& pixels);
// Writes bytes to path; returns path.
std::string writeBytes(const std::string& path, const std::string& bytes);
// The whole file as bytes ("" when it cannot be read).
std::string readBytes(const std::string& path);
// Files in folder whose names start with prefix (0 when there is no such folder).
int filesStartingWith(const std::string& folder, const std::string& prefix);
// Peak resident memory of this process so far, in MB.
long peakResidentMb();
// Whether the DICOM validator dciodvfy (Debian package dicom3tools) is installed.
bool haveValidator();
// The lines of dciodvfy's report on a file that start with "Error" ("" for a valid object).
std::string validatorErrors(const std::string& path);

}  // namespace morvex::testing

// Skips the current test when the sample files are not there.
#define MORVEX_REQUIRE_SHARED_DATA()                                                              \
  do {                                                                                            \
    if (::morvex::testing::sharedDataDir().empty())                                               \
      GTEST_SKIP() << "sample files not found (../shared/data beside the checkout); skipping";    \
  } while (0)

#include "study/study.h"

namespace morvex::testing {

// The small synthetic series loaded into study, frame k from slice k, with its ground-truth labels
// when withLabels; returns the series index (-1 when a slice did not load).
int loadSmallSyntheticSeries(Study& study, bool withLabels);

// Frame f's labels, and those of every frame in frame order.
std::vector<uint8_t> labelsOf(const Study& study, int f);
std::vector<std::vector<uint8_t>> allLabels(const Study& study);

// Inserts a frame of width x height intensities all equal to fill with the given header; returns
// its index.
int addFrame(Study& study, const SliceHeader& header, int width, int height, int16_t fill = 0);

// Writes count flat grey PNG slices P_20200101_1.png ... of width x height into folder (named so
// that they load as one series of patient P); returns their paths in order.
std::vector<std::string> writeFlatPngSlices(const TempDir& folder, int count, int width, int height);

// A study whose warning boxes are collected instead of shown, each with the reason it gave.
struct RecordingStudy {
  Study study;
  std::vector<std::string> warnings, reasons;
  RecordingStudy() {
    study.setWarningSink([this](const std::string& w) {
      warnings.push_back(w);
      reasons.push_back(study.warningReason());
    });
  }
};

}  // namespace morvex::testing

#if defined(QT_WIDGETS_LIB) && defined(QT_TESTLIB_LIB)
#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <QStringList>

namespace morvex::testing {

// Paths as the window's slots take them.
inline QStringList qPaths(const std::vector<std::string>& paths) {
  QStringList list;
  for (const std::string& p : paths) list << QString::fromStdString(p);
  return list;
}

// A drag through the points with the button held, as a real pointer reports it: a press, moves
// every few pixels, a release at the last point (a single point is a click).
inline void dragThrough(QWidget* view, std::initializer_list<QPoint> points, Qt::MouseButton button = Qt::LeftButton) {
  auto it = points.begin();
  QTest::mousePress(view, button, Qt::NoModifier, *it);
  QPoint last = *it;
  for (++it; it != points.end(); ++it) {
    const QPoint to = *it;
    const int steps = std::max(std::abs(to.x() - last.x()), std::abs(to.y() - last.y())) / 3 + 1;
    for (int k = 1; k <= steps; ++k) {
      const QPoint p = last + (to - last) * k / steps;
      QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, button, Qt::NoModifier);
      QApplication::sendEvent(view, &move);
    }
    last = to;
  }
  QTest::mouseRelease(view, button, Qt::NoModifier, last);
}

}  // namespace morvex::testing
#endif
