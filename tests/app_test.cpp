// The application shell driven offscreen: the frameless window, its title bar and buttons, the
// compiled-in pictures and the data files read at start-up.

#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "tests/testing_support.h"
#include "view/cimage.h"
#include "workspace/morvex.h"

namespace {

QPoint titleBarPoint(BorderlessMainWindow& w) {
  // A point on the bare title bar, right of the title text.
  QWidget* bar = w.titleBar();
  return bar->mapTo(&w, QPoint(bar->width() / 2, bar->height() / 2));
}

void sendMove(QWidget* w, const QPoint& pos, Qt::MouseButtons buttons) {
  QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}

bool anyLabel(const morvex::Study& study) {
  for (int f = 0; f < study.frameCount(); ++f) {
    const uint8_t* l = study.labelImage(f);
    const std::size_t n = static_cast<std::size_t>(study.width(f)) * study.height(f);
    if (l && std::any_of(l, l + n, [](uint8_t v) { return v != 0; })) return true;
  }
  return false;
}

}  // namespace

// Start-up with a series folder: the shown window opens it from the event loop, and the first slice
// is painted once the slices have loaded, before the masks opened with them.
TEST(FramelessWindow, PathsOpenOnceShownAndTheSliceIsPaintedBeforeItsMasks) {
  struct FirstPaint : QObject {
    const morvex::Study* study = nullptr;
    bool painted = false, labelled = false;
    bool eventFilter(QObject* o, QEvent* e) override {
      if (!painted && e->type() == QEvent::Paint && qobject_cast<CImage*>(o)) {
        painted = true;
        labelled = anyLabel(*study);
      }
      return false;
    }
  } first;
  BorderlessMainWindow window;
  first.study = &window.mainWindowWidget()->study();
  qApp->installEventFilter(&first);
  window.show();
  window.openOnceShown({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  EXPECT_EQ(first.study->frameCount(), 0) << "not opened before the event loop runs";
  EXPECT_TRUE(QTest::qWaitFor([&] { return anyLabel(*first.study); }, 10000));
  qApp->removeEventFilter(&first);
  EXPECT_EQ(first.study->frameCount(), 24);
  EXPECT_TRUE(first.painted);
  EXPECT_FALSE(first.labelled) << "the slice waited for its masks";
}

TEST(FramelessWindow, TitleBarDragsDoubleClicksButtonsAndClose) {
  BorderlessMainWindow w;
  w.resize(900, 600);
  w.move(100, 100);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_EQ(w.objectName(), "borderlessMainWindow");
  EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w.titleLabel()->text().startsWith("Morvex (v1.61)"));
  EXPECT_EQ(w.windowTitle(), "Morvex");
  Morvex* main = w.mainWindowWidget();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->objectName(), "MorvexClass");
  EXPECT_NE(main->findChild<QWidget*>("widget_image"), nullptr);
  EXPECT_TRUE(main->acceptDrops());
  EXPECT_EQ(main->study().labelCount(), 7);
  EXPECT_NE(w.findChild<QLabel*>("windowIcon"), nullptr);
  auto* restore = w.findChild<QPushButton*>("restoreButton");
  auto* maximize = w.findChild<QPushButton*>("maximizeButton");
  EXPECT_FALSE(restore->isVisible());
  EXPECT_TRUE(maximize->isVisible());

  // a left drag on the title bar moves the window until the release; the right button, or a press
  // below the title bar, does not drag
  const QPoint start = w.pos(), p = titleBarPoint(w), below = main->mapTo(&w, QPoint(20, 200));
  QTest::mousePress(&w, Qt::RightButton, Qt::NoModifier, p);
  sendMove(&w, p + QPoint(40, 0), Qt::RightButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start);
  QTest::mouseRelease(&w, Qt::RightButton, Qt::NoModifier, p);
  QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, below);
  EXPECT_FALSE(w.isDragging());
  sendMove(&w, below + QPoint(40, 40), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start);
  QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, below);
  QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, p);
  EXPECT_TRUE(w.isDragging());
  sendMove(&w, p + QPoint(30, 4), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start + QPoint(30, 4));
  QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, p);
  EXPECT_FALSE(w.isDragging());
  sendMove(&w, p + QPoint(50, 2), Qt::NoButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start + QPoint(30, 4)) << "no drag after the release";

  // a double click on the title bar toggles full screen and the frame's colour; below it, nothing
  for (const bool full : {true, false}) {
    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, titleBarPoint(w));
    EXPECT_EQ(w.isFullScreenFlag(), full);
    EXPECT_EQ(w.isFullScreen(), full);
    EXPECT_EQ(restore->isVisible(), full);
    EXPECT_EQ(maximize->isVisible(), !full);
    EXPECT_EQ(w.styleSheet(), full ? "#borderlessMainWindow{border:1px solid palette(base);}"
                                   : "#borderlessMainWindow{border:1px solid palette(highlight);}");
  }
  QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, main->mapTo(&w, QPoint(20, 200)));
  EXPECT_FALSE(w.isFullScreenFlag());

  // the buttons
  QTest::mouseClick(maximize, Qt::LeftButton);
  EXPECT_TRUE(w.isFullScreen());
  EXPECT_TRUE(restore->isVisible());
  QTest::mouseClick(restore, Qt::LeftButton);
  EXPECT_FALSE(w.isFullScreen());
  EXPECT_TRUE(maximize->isVisible());
  EXPECT_FALSE(w.isFullScreenFlag()) << "only double clicks change the flag";
  QTest::mouseClick(w.findChild<QPushButton*>("minimizeButton"), Qt::LeftButton);
  EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
  QTest::mouseClick(w.findChild<QPushButton*>("closeButton"), Qt::LeftButton);
  EXPECT_FALSE(w.isVisible());
}

TEST(DarkStyle, AllTwentySixPicturesAreCompiledInAndEveryOneTheStyleSheetNamesLoads) {
  morvex::registerDarkStyle();
  const QStringList pictures = QDir(":/darkstyle").entryList({"*.png"});
  EXPECT_EQ(pictures.size(), 26);
  for (const QString& name : pictures) EXPECT_FALSE(QImage(":/darkstyle/" + name).isNull()) << name.toStdString();
  QFile qss(":/darkstyle/darkstyle.qss");
  ASSERT_TRUE(qss.open(QFile::ReadOnly));
  const QString text = QString::fromUtf8(qss.readAll());
  EXPECT_TRUE(text.contains("#borderlessMainWindow{"));
  EXPECT_TRUE(text.contains("#titlebarWidget{"));
  QSet<QString> named;
  for (QRegularExpressionMatchIterator it = QRegularExpression(":/darkstyle/(\\w+\\.png)").globalMatch(text); it.hasNext();)
    named.insert(it.next().captured(1));
  EXPECT_TRUE(named == QSet<QString>(pictures.begin(), pictures.end())) << "the style sheet names every picture, and only those";
}

TEST(DataFiles, WorkingDirectoryFirstThenBesideTheProgram) {
  morvex::testing::TempDir dir;
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.path())));
  EXPECT_TRUE(morvex::readStyleSheet().isEmpty()) << "no style sheet: the default look";
  EXPECT_EQ(morvex::dataFilePath("images/nothing.png"), "images/nothing.png");

  QFile beside(QDir(QCoreApplication::applicationDirPath()).filePath("morvex-beside-test.qss"));
  ASSERT_TRUE(beside.open(QFile::WriteOnly));
  beside.write("QWidget { color: red; }");
  beside.close();
  EXPECT_EQ(morvex::dataFilePath("morvex-beside-test.qss"), beside.fileName());
  EXPECT_EQ(morvex::readStyleSheet("morvex-beside-test.qss"), "QWidget { color: red; }");

  QFile local("morvex-beside-test.qss");
  ASSERT_TRUE(local.open(QFile::WriteOnly));
  local.write("QWidget { color: blue; }");
  local.close();
  EXPECT_EQ(morvex::readStyleSheet("morvex-beside-test.qss"), "QWidget { color: blue; }");
  beside.remove();
  QDir::setCurrent(previous);
}

TEST(Application, PathsOnTheCommandLineAreImportedAndTheProgramRunsUntilClosed) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(QFileInfo(MORVEX_PROGRAM).absolutePath());
  // Toolkit options stay the toolkit's; the folder is imported (its masks are not slices).
  program.start(MORVEX_PROGRAM, {"-style", "fusion", QString::fromStdString(morvex::testing::smallSyntheticSeries())});
  ASSERT_TRUE(program.waitForStarted(10000));
  QByteArray out;
  for (int i = 0; i < 100 && !out.contains("readDICOM()"); ++i) {
    program.waitForReadyRead(200);
    out += program.readAllStandardOutput();
  }
  EXPECT_TRUE(out.contains("readDICOM(): 24 of 24 files loaded")) << out.toStdString();
  EXPECT_FALSE(program.waitForFinished(1500)) << "the event loop keeps the program running: "
                                              << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.state(), QProcess::Running);
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(10000));
}

TEST(Application, ScreenshotShowsTheSeriesWithItsLabelledLiver) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  morvex::testing::TempDir dir;
  const QString png = QString::fromStdString(dir.file("shot.png"));
  QProcess tool;
  tool.setWorkingDirectory(QFileInfo(MORVEX_PROGRAM).absolutePath());
  tool.start(MORVEX_SCREENSHOT, {png, QString::fromStdString(series)});
  ASSERT_TRUE(tool.waitForFinished(60000));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  const QImage shot(png);
  ASSERT_FALSE(shot.isNull());
  EXPECT_GE(shot.width(), 1000);
  // The liver is drawn in its label colour (145, 57, 53) blended over grey at opacity 0.5.
  int liverLike = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QRgb p = shot.pixel(x, y);
      liverLike += qRed(p) > qGreen(p) + 30 && qRed(p) > qBlue(p) + 30 && qGreen(p) > 20;
    }
  EXPECT_GT(liverLike, 500);
}
