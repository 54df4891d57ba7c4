// morvex-screenshot: renders the workstation offscreen to a PNG, so anyone can look at what the
// user sees. Usage: morvex-screenshot [--lang en|ko] [--layout one|1+2] OUTPUT.png [PATH...]
// The paths are opened as if dropped; the slice with the most liver is shown with the liver layer.
// --layout 1+2 shows the coronal and sagittal planes beside it, crossing at the liver's centre.

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QPixmap>
#include <algorithm>
#include <cstdio>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "app/language.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  morvex::registerDarkStyle();
  QApplication app(argc, argv);
  // the layout asked for here is not remembered as the user's
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QDir::tempPath() + "/morvex-screenshot-settings");
  QStringList args = QApplication::arguments();
  morvex::installLanguageFor(args);  // as the program chooses it: --lang, MORVEX_LANG, the locale
  QString layout = "one";
  if (args.size() > 2 && args[1] == "--layout") {
    layout = args[2];
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() < 2 || (layout != "one" && layout != "1+2")) {
    std::fprintf(stderr, "usage: morvex-screenshot [--lang en|ko] [--layout one|1+2] OUTPUT.png [PATH...]\n");
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
  main->fitViewsToImageArea();
  QApplication::processEvents();
  if (!window.grab().save(args[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
    return 1;
  }
  std::printf("morvex-screenshot: wrote %s\n", qPrintable(args[1]));
  return 0;
}
