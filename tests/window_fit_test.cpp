// The window on real screens: it opens at the designed size or what the screen holds; at the
// designed 1374 x 904 every control is on screen without scrolling, at 1280 x 720 every control can
// be scrolled to and the image keeps at least 512 x 512 pixels. Each tab page is looked at in turn.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QScrollArea>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "app/borderless_main_window.h"
#include "app/data_files.h"
#include "tests/testing_support.h"
#include "workspace/message_box.h"
#include "workspace/morvex.h"

namespace {

bool isControl(QWidget* w) {
  return qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QComboBox*>(w) ||
         qobject_cast<QSlider*>(w) || qobject_cast<QTreeWidget*>(w) || qobject_cast<QTabBar*>(w);
}

// The part of w that shows inside every ancestor up to the top window, in w's coordinates.
QRect shownPart(QWidget* w) {
  QRect shown = w->rect();
  for (QWidget* a = w->parentWidget(); a && !shown.isEmpty(); a = a->parentWidget()) {
    const QRect inAncestor(w->mapTo(a, QPoint(0, 0)), w->size());
    shown &= a->rect().translated(-inAncestor.topLeft() + w->rect().topLeft());
    if (a->isWindow()) break;
  }
  return shown;
}

// The controls shown on the current tab pages, except the frameless window's own title buttons.
QList<QWidget*> controls(BorderlessMainWindow& window) {
  QList<QWidget*> list;
  for (QWidget* w : window.mainWindowWidget()->findChildren<QWidget*>())
    if (isControl(w) && w->isVisible() && !w->objectName().startsWith("qt_")) list << w;
  return list;
}

// Shows each page of every tab widget in the window in turn and checks the controls of each.
template <typename Check>
void onEveryPage(BorderlessMainWindow& window, Check check) {
  check();
  for (QTabWidget* tabs : window.mainWindowWidget()->findChildren<QTabWidget*>()) {
    const int before = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
      if (i == before) continue;
      tabs->setCurrentIndex(i);
      QApplication::processEvents();
      check();
    }
    tabs->setCurrentIndex(before);
  }
}

struct Window {
  BorderlessMainWindow window;
  explicit Window(QSize size) {
    // the program's own look: the style sheet beside it sets paddings and fonts
    qApp->setStyleSheet(morvex::readStyleSheet(QFileInfo(MORVEX_PROGRAM).dir().filePath("stylesheet.qss")));
    EXPECT_FALSE(qApp->styleSheet().isEmpty());
    morvex::setWarningInterceptor([](const QString&) {});
    window.resize(size);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.mainWindowWidget()->openPaths({QString::fromStdString(morvex::testing::smallSyntheticSeries())});
    QApplication::processEvents();
    EXPECT_EQ(window.size(), size);
  }
  ~Window() {
    morvex::setWarningInterceptor({});
    qApp->setStyleSheet(QString());
  }
};

}  // namespace

TEST(WindowFit, OpensAtTheDesignedSizeOrWhatTheScreenHolds) {
  const std::pair<QSize, QSize> cases[] = {{{1920, 1040}, {1374, 904}}, {{1374, 904}, {1374, 904}},
                                           {{1280, 690}, {1280, 690}},  {{1600, 860}, {1374, 860}},
                                           {{0, 0}, {1374, 904}}};
  for (const auto& [available, opened] : cases) EXPECT_EQ(BorderlessMainWindow::openingSize(available), opened);
}

TEST(WindowFit, AtTheDesignedSizeEveryControlShowsWithoutScrolling) {
  Window w({1374, 904});
  int checked = 0;
  onEveryPage(w.window, [&] {
    for (QWidget* c : controls(w.window)) {
      ++checked;
      EXPECT_EQ(shownPart(c), c->rect()) << c->objectName().toStdString() << " " << c->metaObject()->className();
    }
  });
  EXPECT_GT(checked, 60);
  EXPECT_GE(w.window.mainWindowWidget()->form().widget_image->width(), 512);
  EXPECT_GE(w.window.mainWindowWidget()->form().widget_image->height(), 600);
}

TEST(WindowFit, At1280x720EveryControlCanBeScrolledToAndTheImageKeeps512) {
  Window w({1280, 720});
  QWidget* image = w.window.mainWindowWidget()->form().widget_image;
  EXPECT_GE(std::min(image->width(), image->height()), 512);
  int scrolled = 0;
  onEveryPage(w.window, [&] {
    for (QWidget* c : controls(w.window)) {
      if (shownPart(c) == c->rect()) continue;
      // scrolled to as a user would: each scroll area around it, the innermost first
      int areas = 0;
      for (QWidget* a = c->parentWidget(); a; a = a->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(a)) {
          // the whole control (ensureWidgetVisible would show only a text field's cursor)
          const QPoint centre = c->mapTo(scroll->widget(), c->rect().center());
          scroll->ensureVisible(centre.x(), centre.y(), c->width() / 2 + 1, c->height() / 2 + 1);
          ++areas;
        }
      ASSERT_GT(areas, 0) << c->objectName().toStdString() << " is cut off outside any scroll area";
      QApplication::processEvents();
      ++scrolled;
      EXPECT_EQ(shownPart(c), c->rect()) << c->objectName().toStdString();
    }
  });
  EXPECT_GT(scrolled, 0) << "the right-hand column scrolls at this size";
}
