// morvex-screenshot: renders the workstation offscreen to a PNG, so anyone can look at what the
// user sees. Usage: morvex-screenshot [--lang en|ko] OUTPUT.png [PATH...]
// The paths are opened as if dropped; the slice with the most liver is shown with the liver layer.

#include <QApplication>
#include <QDir>
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
  QStringList args = QApplication::arguments();
  morvex::installLanguageFor(args);  // as the program chooses it: --lang, MORVEX_LANG, the locale
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: morvex-screenshot [--lang en|ko] OUTPUT.png [PATH...]\n");
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
  main->fitViewsToImageArea();
  QApplication::processEvents();
  if (!window.grab().save(args[1])) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(args[1]));
    return 1;
  }
  std::printf("morvex-screenshot: wrote %s\n", qPrintable(args[1]));
  return 0;
}
