// Start-up: the application, its style sheet, the frameless window, the event loop.

#include <QApplication>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "app/language.h"
#include "view3d/surface_view.h"
#include "workspace/morvex.h"

int main(int argc, char* argv[]) {
  morvex::registerDarkStyle();
  CSurfaceView::prepareApplication();  // the OpenGL format of the 3D view, before the application
  QApplication app(argc, argv);
  app.setOrganizationName("Morvex");
  app.setApplicationName("Morvex");
  app.setStyleSheet(morvex::readStyleSheet());
  QStringList args = QApplication::arguments();
  morvex::installLanguageFor(args);  // before any widget exists: every text is built translated
  BorderlessMainWindow window;
  window.resizeToScreen();
  window.show();
  // Paths on the command line are opened as if dropped on the window (toolkit options are gone).
  window.openOnceShown(args.mid(1));
  return app.exec();
}
