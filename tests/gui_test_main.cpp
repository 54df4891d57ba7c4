// Entry point of the widget tests: an offscreen application around GoogleTest.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "app/language.h"
#include "workspace/message_box.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // crash-recovery data of the tests stays out of the user's data folder
  QTemporaryDir recovery;
  // settings (the last open folder, the view layout) start from nothing and stay out of the user's configuration
  QTemporaryDir settings;
  qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("MORVEX_RECOVERY_DIR")) qputenv("MORVEX_RECOVERY_DIR", recovery.path().toLocal8Bit());
  // no question may block a test: unless a test answers them itself, work is discarded
  morvex::setQuestionInterceptor([](const QString&) { return morvex::Answer::Discard; });
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // the widget tests read the Korean texts of the design unless a test switches the language (or
  // a test program is built for another one)
#ifdef MORVEX_TEST_LANGUAGE
  morvex::installLanguage(MORVEX_TEST_LANGUAGE);
#else
  morvex::installLanguage("ko");
#endif
  return RUN_ALL_TESTS();
}
