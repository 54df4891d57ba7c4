#include "app/data_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// LeakSanitizer (sanitizer builds): the offscreen platform plugin keeps its screen objects until
// process exit; those allocations belong to the toolkit, not to this program.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libqoffscreen.so\n"
         "leak:QScreen::QScreen\n"
         "leak:QPlatformScreen::QPlatformScreen\n"
         "leak:QWindowSystemInterface::handleScreenAdded\n";
}

// Q_INIT_RESOURCE must be used outside any namespace.
static void initDarkStyleResources() { Q_INIT_RESOURCE(darkstyle); }

namespace morvex {

void registerDarkStyle() { initDarkStyleResources(); }

QString dataFilePath(const QString& relativePath) {
  if (QFileInfo::exists(relativePath)) return relativePath;
  if (QCoreApplication::instance()) {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(relativePath);
    if (QFileInfo::exists(beside)) return beside;
  }
  return relativePath;
}

QString readStyleSheet(const QString& relativePath) {
  QFile file(dataFilePath(relativePath));
  if (!file.open(QFile::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

}  // namespace morvex
