// Entry point of the widget tests: an offscreen application around GoogleTest.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include "workspace/message_box.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // crash-recovery data of the tests stays out of the user's data folder
  QTemporaryDir recovery;
  if (qEnvironmentVariableIsEmpty("MORVEX_RECOVERY_DIR")) qputenv("MORVEX_RECOVERY_DIR", recovery.path().toLocal8Bit());
  // no question may block a test: unless a test answers them itself, work is discarded
  morvex::setQuestionInterceptor([](const QString&) { return morvex::Answer::Discard; });
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  // remembered choices (the view layout) start from nothing and stay out of the user's settings
  QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  return RUN_ALL_TESTS();
}
