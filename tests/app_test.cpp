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

struct ShownWindow {
  BorderlessMainWindow window;
  ShownWindow() {
    window.resize(900, 600);
    window.move(100, 100);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
};

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

TEST(FramelessWindow, StartsWithTitleBarAndEmptyMainWindow) {
  ShownWindow s;
  BorderlessMainWindow& w = s.window;
  EXPECT_TRUE(w.isVisible());
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
  EXPECT_FALSE(w.findChild<QPushButton*>("restoreButton")->isVisible());
  EXPECT_TRUE(w.findChild<QPushButton*>("maximizeButton")->isVisible());
  EXPECT_NE(w.findChild<QLabel*>("windowIcon"), nullptr);
  w.close();
  EXPECT_FALSE(w.isVisible());
}

TEST(FramelessWindow, LeftDragOnTheTitleBarMovesTheWindow) {
  ShownWindow s;
  BorderlessMainWindow& w = s.window;
  const QPoint start = w.pos();
  const QPoint p = titleBarPoint(w);
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
}

TEST(FramelessWindow, RightButtonOrAPressOutsideTheTitleBarDoesNotDrag) {
  ShownWindow s;
  BorderlessMainWindow& w = s.window;
  const QPoint start = w.pos();
  const QPoint p = titleBarPoint(w);
  QTest::mousePress(&w, Qt::RightButton, Qt::NoModifier, p);
  sendMove(&w, p + QPoint(40, 0), Qt::RightButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start);
  QTest::mouseRelease(&w, Qt::RightButton, Qt::NoModifier, p);

  const QPoint below = w.mainWindowWidget()->mapTo(&w, QPoint(20, 200));
  QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, below);
  EXPECT_FALSE(w.isDragging());
  sendMove(&w, below + QPoint(40, 40), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(w.pos(), start);
}

TEST(FramelessWindow, DoubleClickTogglesFullScreenAndBack) {
  ShownWindow s;
  BorderlessMainWindow& w = s.window;
  auto* restore = w.findChild<QPushButton*>("restoreButton");
  auto* maximize = w.findChild<QPushButton*>("maximizeButton");
  const QPoint p = titleBarPoint(w);
  QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, p);
  EXPECT_TRUE(w.isFullScreenFlag());
  EXPECT_TRUE(w.isFullScreen());
  EXPECT_TRUE(restore->isVisible());
  EXPECT_FALSE(maximize->isVisible());
  EXPECT_EQ(w.styleSheet(), "#borderlessMainWindow{border:1px solid palette(base);}");

  QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, titleBarPoint(w));
  EXPECT_FALSE(w.isFullScreenFlag());
  EXPECT_FALSE(w.isFullScreen());
  EXPECT_FALSE(restore->isVisible());
  EXPECT_TRUE(maximize->isVisible());
  EXPECT_EQ(w.styleSheet(), "#borderlessMainWindow{border:1px solid palette(highlight);}");

  // A double click on the main window below the title bar changes nothing.
  QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, w.mainWindowWidget()->mapTo(&w, QPoint(20, 200)));
  EXPECT_FALSE(w.isFullScreenFlag());
}

TEST(FramelessWindow, ButtonsMaximiseRestoreMinimiseAndClose) {
  ShownWindow s;
  BorderlessMainWindow& w = s.window;
  auto* restore = w.findChild<QPushButton*>("restoreButton");
  auto* maximize = w.findChild<QPushButton*>("maximizeButton");
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

TEST(DarkStyle, AllTwentySixPicturesAreCompiledIn) {
  morvex::registerDarkStyle();
  const char* names[] = {
      "icon_window_minimize", "icon_window_restore", "icon_window_maximize", "icon_window_close", "icon_close",
      "icon_undock", "icon_checkbox_checked", "icon_checkbox_checked_pressed", "icon_checkbox_checked_disabled",
      "icon_checkbox_unchecked", "icon_checkbox_unchecked_pressed", "icon_checkbox_unchecked_disabled",
      "icon_checkbox_indeterminate", "icon_checkbox_indeterminate_pressed", "icon_checkbox_indeterminate_disabled",
      "icon_radiobutton_checked", "icon_radiobutton_checked_pressed", "icon_radiobutton_checked_disabled",
      "icon_radiobutton_unchecked", "icon_radiobutton_unchecked_pressed", "icon_radiobutton_unchecked_disabled",
      "icon_branch_open", "icon_branch_closed", "icon_branch_more", "icon_branch_end", "icon_vline"};
  EXPECT_EQ(QDir(":/darkstyle").entryList({"*.png"}).size(), 26);
  for (const char* name : names) {
    const QImage img(QString(":/darkstyle/%1.png").arg(name));
    EXPECT_FALSE(img.isNull()) << name;
  }
  QFile qss(":/darkstyle/darkstyle.qss");
  ASSERT_TRUE(qss.open(QFile::ReadOnly));
  const QByteArray text = qss.readAll();
  EXPECT_TRUE(text.contains("#borderlessMainWindow{"));
  EXPECT_TRUE(text.contains("#titlebarWidget{"));
  EXPECT_TRUE(text.contains(":/darkstyle/icon_window_minimize.png"));
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

TEST(Application, TheProgramStartsOffscreenAndKeepsRunningUntilClosed) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(QFileInfo(MORVEX_PROGRAM).absolutePath());
  program.start(MORVEX_PROGRAM, QStringList());
  ASSERT_TRUE(program.waitForStarted(10000));
  EXPECT_FALSE(program.waitForFinished(1500)) << "the event loop keeps the program running: "
                                              << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.state(), QProcess::Running);
  program.terminate();
  ASSERT_TRUE(program.waitForFinished(10000));
}

TEST(Application, PathsOnTheCommandLineAreImportedAsIfDropped) {
  const std::string& series = morvex::testing::smallSyntheticSeries();
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  // Toolkit options stay the toolkit's; the folder is imported (its masks are not slices).
  program.start(MORVEX_PROGRAM, {"-style", "fusion", QString::fromStdString(series)});
  ASSERT_TRUE(program.waitForStarted(10000));
  QByteArray out;
  for (int i = 0; i < 100 && !out.contains("readDICOM()"); ++i) {
    program.waitForReadyRead(200);
    out += program.readAllStandardOutput();
  }
  EXPECT_TRUE(out.contains("readDICOM(): 24 of 24 files loaded")) << out.toStdString();
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
