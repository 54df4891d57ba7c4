// morvex-screenshot: renders the workstation offscreen to a PNG, so anyone can look at what the
// user sees. Usage: morvex-screenshot OUTPUT.png [PATH...]
// The paths are opened as if dropped; the slice with the most liver is shown with the liver layer.
// With --view3d VIEW.png first, the 3D view is shown too and its picture written to VIEW.png; it
// needs a display with OpenGL (e.g. xvfb-run -a morvex-screenshot --view3d ...), so the platform is
// then left to the environment.

#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QPixmap>
#include <algorithm>
#include <cstdio>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "view3d/surface_view.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

int main(int argc, char** argv) {
  const bool view3d = argc > 1 && std::string(argv[1]) == "--view3d";
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !view3d) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (view3d) CSurfaceView::prepareApplication();
  morvex::registerDarkStyle();
  QApplication app(argc, argv);
  QStringList args = QApplication::arguments();
  QString view3dFile;
  if (view3d && args.size() > 2) {
    view3dFile = args[2];
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: morvex-screenshot [--view3d VIEW.png] OUTPUT.png [PATH...]\n");
    return 2;
  }
  app.setStyleSheet(morvex::readStyleSheet());
  morvex::setWarningInterceptor([](const QString& text) { std::fprintf(stderr, "warning: %s\n", qPrintable(text)); });
  BorderlessMainWindow window;
  window.resize(1374, 904);
  window.show();
  QApplication::processEvents();
  Morvex* main = window.mainWindowWidget();
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
    main->surfaceDock()->show();
    view->setMinimumSize(520, 520);
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
