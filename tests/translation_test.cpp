// The translations cover the interface: every text the sources mark for translation (tr(),
// translate, QT_TRANSLATE_NOOP, the forms) is in the English and in the Korean file, finished; and
// no Hangul is left in the sources, where texts are English, except in log lines.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <map>

namespace {

const QString kRoot = QStringLiteral(MORVEX_SOURCE_DIR);

// (context, source) -> translation, or "<unfinished>" when the file leaves it to a translator.
std::map<std::pair<QString, QString>, QString> readTs(const QString& path) {
  std::map<std::pair<QString, QString>, QString> messages;
  QFile file(path);
  EXPECT_TRUE(file.open(QFile::ReadOnly)) << path.toStdString();
  QXmlStreamReader xml(&file);
  QString context, source, translation;
  bool finished = true;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.name() == QLatin1String("source")) {
      source = xml.readElementText();
    } else if (xml.name() == QLatin1String("translation")) {
      finished = xml.attributes().value("type").isEmpty();
      // a plural message holds its forms as children; the first form stands for it
      translation.clear();
      QString firstForm;
      while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("translation")) break;
        if (xml.isCharacters()) translation += xml.text();
        if (xml.isStartElement() && xml.name() == QLatin1String("numerusform") && firstForm.isEmpty())
          firstForm = xml.readElementText();
      }
      if (!firstForm.isEmpty()) translation = firstForm;
      messages[{context, source}] = finished && !translation.isEmpty() ? translation : QStringLiteral("<unfinished>");
    }
  }
  EXPECT_FALSE(xml.hasError()) << path.toStdString() << ": " << xml.errorString().toStdString();
  return messages;
}

}  // namespace

TEST(Translations, EveryMarkedTextIsFinishedInEnglishAndKorean) {
  QTemporaryDir dir;
  const QString scanned = dir.filePath("scan.ts");
  QProcess scan;
  scan.start("bash", {kRoot + "/scripts/update-translations.sh", "--scan", scanned});
  ASSERT_TRUE(scan.waitForFinished(120000));
  ASSERT_EQ(scan.exitCode(), 0) << scan.readAllStandardError().toStdString();
  const auto inSources = readTs(scanned);
  ASSERT_GT(inSources.size(), 100u) << "the scan found the interface's texts";
  ASSERT_EQ(inSources.count({"MorvexClass", "Right lobe"}), 1u) << "texts of the form are scanned";
  ASSERT_EQ(inSources.count({"morvex::Core", "This file extension cannot be processed."}), 1u)
      << "texts of the core library are scanned";
  for (const char* language : {"en", "ko"}) {
    const auto committed = readTs(kRoot + "/translations/morvex_" + language + ".ts");
    for (const auto& [key, unused] : inSources) {
      const auto it = committed.find(key);
      const std::string where = std::string(language) + ": [" + key.first.toStdString() + "] " + key.second.toStdString();
      if (it == committed.end())
        ADD_FAILURE() << "missing " << where << " (run scripts/update-translations.sh)";
      else
        EXPECT_NE(it->second.toStdString(), "<unfinished>") << "unfinished " << where;
      if (std::string(language) == "en" && it != committed.end()) {
        EXPECT_EQ(it->second.toStdString(), key.second.toStdString()) << where;
      }
    }
  }
}

TEST(Translations, NoHangulInTheSourcesOutsideLogLines) {
  const QRegularExpression hangul(QStringLiteral("[\\x{AC00}-\\x{D7A3}\\x{1100}-\\x{11FF}\\x{3130}-\\x{318F}]"));
  const QRegularExpression logLine(QStringLiteral("\\b(std::)?f?printf\\s*\\(|std::cerr|qDebug|qWarning"));
  int files = 0;
  for (const char* folder : {"app", "study", "segmentation", "analysis", "view", "view3d", "workspace", "export", "planning", "archive_ui",
                             "network", "tools"}) {
    QDirIterator it(kRoot + "/" + folder, {"*.cpp", "*.h", "*.ui"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      QFile file(it.next());
      ASSERT_TRUE(file.open(QFile::ReadOnly));
      ++files;
      int number = 0;
      for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        ++number;
        if (line.contains(hangul) && !line.contains(logLine))
          ADD_FAILURE() << file.fileName().toStdString() << ":" << number << ": " << line.trimmed().toStdString();
      }
    }
  }
  EXPECT_GT(files, 50);
}
