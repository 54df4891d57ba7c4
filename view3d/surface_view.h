#pragma once
// CSurfaceView: the 3D view of one series' labels, a self-contained widget. Surfaces are computed
// off the interface thread (only the labels an edit touched); the picture is lit, turned, zoomed
// and moved with the mouse (left, wheel or right, middle), R resets it, a click on a surface asks
// for the axial slice there. Without a display with OpenGL 3.2 the widget only says that it is
// unavailable and every call below does nothing (snapshot() is null).
// This header includes no VTK header: code that includes it compiles without them.

#include <QColor>
#include <QImage>
#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>

namespace morvex::view3d {
struct SliceStack;
}

class CSurfaceView : public QWidget {
  Q_OBJECT

 public:
  explicit CSurfaceView(QWidget* parent = nullptr);
  ~CSurfaceView() override;

  // Call before the QApplication exists: sets the OpenGL surface format the view needs.
  static void prepareApplication();
  // Whether this process can draw 3D (not an offscreen or minimal platform, and an OpenGL 3.2
  // context can be made); why not in words otherwise. Decided once per process.
  static bool renderingAvailable(QString* why = nullptr);
  bool available() const;

  // The labels to show; surfaces of the labels that differ from the last stack are recomputed on
  // a worker, and the view shows them when they are ready (a newer stack waits for the run).
  void setLabels(const morvex::view3d::SliceStack& stack);
  // An update is running or waiting.
  bool busy() const;
  void setLabelColour(int label, const QColor& colour);
  void setLabelVisible(int label, bool visible);
  void setLabelOpacity(int label, double opacity);  // 0..1
  // The current axial slice (an index of the stack), drawn as a plane while the plane is shown.
  void setSlice(int slice);
  void setSlicePlaneShown(bool shown);
  // Looks at the shown surfaces from the front, head up.
  void resetView();

  // The rendered picture at the widget's size (null when unavailable).
  QImage snapshot();
  // Writes snapshot() as PNG; false (nothing written) when unavailable or the file cannot be written.
  bool saveSnapshot(const QString& path);
  // The snapshot button's file dialog (tests answer it without one).
  void setSnapshotPathChooser(std::function<QString()> chooser) { chooseSnapshotPath_ = std::move(chooser); }

  // Turns the camera by azimuth degrees and renders one frame, waiting for it (benchmarks).
  void renderFrame(double azimuth = 0);
  long shownTriangles() const;

 signals:
  // A click on a surface: the stack slice under the pointer.
  void slicePicked(int slice);
  // The surfaces of these labels were replaced (or dropped) in the picture.
  void surfacesUpdated(const QVector<int>& labels);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void startUpdate();
  void applyUpdate();
  void pickAt(const QPoint& pos);
  void updateSlicePlane();
  void saveSnapshotByButton();

  struct Impl;
  std::unique_ptr<Impl> d_;
  std::function<QString()> chooseSnapshotPath_;
};
