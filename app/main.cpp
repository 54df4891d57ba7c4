// Start-up: the application, its style sheet, the frameless window, the event loop.

#include <QApplication>

#include "app/borderless_main_window.h"
#include "app/data_files.h"

int main(int argc, char* argv[]) {
  morvex::registerDarkStyle();
  QApplication app(argc, argv);
  app.setStyleSheet(morvex::readStyleSheet());
  BorderlessMainWindow window;
  window.show();
  return app.exec();
}
