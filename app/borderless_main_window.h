#pragma once
// The frameless top-level window: its own title bar (logo, title, minimise / restore / maximise /
// close) above the main window. The title bar drags the window; a double click toggles full screen.

#include <QMainWindow>
#include <QPoint>
#include <QStringList>

class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class Morvex;

class BorderlessMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit BorderlessMainWindow(QWidget* parent = nullptr);

  Morvex* mainWindowWidget() const { return mainWindow; }
  // Opens paths as if dropped once the shown window is on screen (at the latest after a second):
  // the window is painted first, and the first slice as soon as the slices have loaded.
  void openOnceShown(const QStringList& paths);
  // The size the window opens at: the designed 1374 x 904, or as much of it as the screen's
  // available area holds (each side on its own); resizeToScreen applies it for the window's screen.
  static QSize openingSize(const QSize& available);
  void resizeToScreen();
  QWidget* titleBar() const { return titlebarWidget; }
  QLabel* titleLabel() const { return windowTitleLabel; }
  bool isDragging() const { return dragging; }
  bool isFullScreenFlag() const { return fullScreen; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Closing asks first when the labels have unsaved changes (Save / Discard / Cancel).
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public slots:
  void slot_minimized();
  void slot_restored();
  void slot_maximized();
  void slot_closed();

 private:
  void openPendingPaths();
  QStringList pendingPaths;
  bool onTitleBar(const QPoint& windowPos) const;
  void buildTitleBar();

  Morvex* mainWindow = nullptr;
  QWidget* titlebarWidget = nullptr;
  QFrame* line = nullptr;
  QLabel* windowIconLabel = nullptr;
  QLabel* windowTitleLabel = nullptr;
  QPushButton* minimizeButton = nullptr;
  QPushButton* restoreButton = nullptr;
  QPushButton* maximizeButton = nullptr;
  QPushButton* closeButton = nullptr;
  QPoint dragStart;
  bool dragging = false;
  bool fullScreen = false;
  QVBoxLayout* verticalLayout = nullptr;
  QWidget* centralWidget = nullptr;
};
