// morvex-screenshot: renders the workstation offscreen to a PNG, so anyone can look at what the
// user sees. Usage: morvex-screenshot [--lang en|ko] [--layout one|1+2] OUTPUT.png [PATH...]
// The paths are opened as if dropped; the slice with the most liver is shown with the liver layer.
// --layout 1+2 shows the coronal and sagittal planes beside it, crossing at the liver's centre.
// With --view3d VIEW.png, the 3D view is shown too and its picture written to VIEW.png; it
// needs a display with OpenGL (e.g. xvfb-run -a morvex-screenshot --view3d ...), so the platform is
// then left to the environment.

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QSettings>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "app/language.h"
#include "view3d/surface_view.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

int main(int argc, char** argv) {
  bool view3d = false;
  for (int i = 1; i < argc; ++i) view3d = view3d || std::string(argv[i]) == "--view3d";
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !view3d) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (view3d) CSurfaceView::prepareApplication();
  morvex::registerDarkStyle();
  QApplication app(argc, argv);
  // the layout asked for here is not remembered as the user's
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QDir::tempPath() + "/morvex-screenshot-settings");
  QStringList args = QApplication::arguments();
  morvex::installLanguageFor(args);  // as the program chooses it: --lang, MORVEX_LANG, the locale
  QString layout = "one";
  QString view3dFile;
  while (args.size() > 2 && (args[1] == "--layout" || args[1] == "--view3d")) {
    (args[1] == "--layout" ? layout : view3dFile) = args[2];
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() < 2 || (layout != "one" && layout != "1+2")) {
    std::fprintf(stderr, "usage: morvex-screenshot [--lang en|ko] [--layout one|1+2] [--view3d VIEW.png] OUTPUT.png [PATH...]\n");
    return 2;
  }
  app.setStyleSheet(morvex::readStyleSheet());
  morvex::setWarningInterceptor([](const QString& text) { std::fprintf(stderr, "warning: %s\n", qPrintable(text)); });
  BorderlessMainWindow window;
  window.resize(1374, 904);
  window.show();
  QApplication::processEvents();
  Morvex* main = window.mainWindowWidget();
  main->setThreePlanes(layout == "1+2");
  if (args.size() > 2) main->openPaths(args.mid(2));
  morvex::Study& study = main->study();
  int best = -1;
  long bestCount = 0;
  for (int f = 0; f < study.frameCount(); ++f) {
    const uint8_t* labels = static_cast<const morvex::Study&>(study).labelImage(f);
    const long count = labels ? std::count(labels, labels + study.width(f) * study.height(f), 1) : 0;
    if (count > bestCount) {
      best = f;
      bestCount = count;
    }
  }
  if (best >= 0) {
    main->setCurrentLabel(1);
    main->showImage(best);
    main->selectedFrame(best);
    // the planes cross at the centre of the liver on that slice
    const uint8_t* labels = static_cast<const morvex::Study&>(study).labelImage(best);
    const int w = study.width(best), h = study.height(best);
    long sx = 0, sy = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (labels[static_cast<std::size_t>(y) * w + x] == 1) sx += x, sy += y;
    main->moveCrosshair(morvex::PlaneAxis::Axial, QPoint(static_cast<int>(sx / bestCount), static_cast<int>(sy / bestCount)));
  }
  QApplication::processEvents();
  if (!view3dFile.isEmpty()) {
    CSurfaceView* view = main->surfaceView();
    if (!view->available()) {
      QString why;
      CSurfaceView::renderingAvailable(&why);
      std::fprintf(stderr, "morvex-screenshot: no 3D view here (%s)\n", qPrintable(why));
      return 1;
    }
    // the 3D toggle: the fourth pane with the three planes, else the panel
    if (auto* toggle = main->findChild<QPushButton*>("pushButton_View3d")) toggle->setChecked(true);
    if (!main->threePlanesShown()) view->setMinimumSize(520, 520);
    QElapsedTimer clock;
    clock.start();
    do {
      main->refreshSurfaceView();
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    } while ((view->busy() || view->shownTriangles() == 0) && clock.elapsed() < 60000);
    if (!view->saveSnapshot(view3dFile)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(view3dFile));
      return 1;
    }
    std::printf("morvex-screenshot: wrote %s\n", qPrintable(view3dFile));
  }
  main->fitViewsToImageArea();
  QApplication::processEvents();
  if (!window.grab().save(args[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
    return 1;
  }
  std::printf("morvex-screenshot: wrote %s\n", qPrintable(args[1]));
  return 0;
}
