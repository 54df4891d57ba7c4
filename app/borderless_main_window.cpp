#include "app/borderless_main_window.h"

#include <QCloseEvent>

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <QGuiApplication>
#include <QScreen>

#include "app/data_files.h"
#include "workspace/morvex.h"

namespace {
const char* kTitle = QT_TRANSLATE_NOOP("BorderlessMainWindow", "Morvex (v1.61)  -  liver and vessel annotation workstation");
const char* kFullScreenBorder = "#borderlessMainWindow{border:1px solid palette(base);}";
const char* kNormalBorder = "#borderlessMainWindow{border:1px solid palette(highlight);}";
}  // namespace

BorderlessMainWindow::BorderlessMainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::CustomizeWindowHint) {
  morvex::registerDarkStyle();
  setObjectName("borderlessMainWindow");
  setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);

  mainWindow = new Morvex(this);
  setWindowTitle(mainWindow->windowTitle());
  mainWindow->statusBar()->setSizeGripEnabled(true);
  mainWindow->setWindowFlags(Qt::FramelessWindowHint);

  buildTitleBar();
}

void BorderlessMainWindow::buildTitleBar() {
  titlebarWidget = new QWidget(this);
  titlebarWidget->setObjectName("titlebarWidget");
  titlebarWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  auto* titleLayout = new QHBoxLayout(titlebarWidget);
  titleLayout->setSpacing(0);
  titleLayout->setContentsMargins(0, 0, 0, 0);

  line = new QFrame(this);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setStyleSheet("border-top: 1px solid #666666;");

  windowIconLabel = new QLabel(titlebarWidget);
  windowIconLabel->setObjectName("windowIcon");
  windowIconLabel->setPixmap(QPixmap(morvex::dataFilePath("images/logo.png")));
  windowIconLabel->setStyleSheet("padding: 5px;");

  windowTitleLabel = new QLabel(titlebarWidget);
  windowTitleLabel->setObjectName("windowTitle");
  windowTitleLabel->setText(tr(kTitle));
  windowTitleLabel->setStyleSheet("padding-left: 3px; font-size: 14px;");

  auto makeButton = [this](const char* name) {
    auto* b = new QPushButton(titlebarWidget);
    b->setObjectName(name);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
  };
  minimizeButton = makeButton("minimizeButton");
  restoreButton = makeButton("restoreButton");
  maximizeButton = makeButton("maximizeButton");
  closeButton = makeButton("closeButton");
  restoreButton->setVisible(false);

  titleLayout->addWidget(windowIconLabel);
  titleLayout->addWidget(windowTitleLabel);
  titleLayout->addStretch(1);
  titleLayout->addWidget(minimizeButton);
  titleLayout->addWidget(restoreButton);
  titleLayout->addWidget(maximizeButton);
  titleLayout->addWidget(closeButton);

  verticalLayout = new QVBoxLayout();
  verticalLayout->setSpacing(0);
  verticalLayout->setContentsMargins(1, 1, 1, 1);
  verticalLayout->addWidget(titlebarWidget);
  verticalLayout->addWidget(line);
  verticalLayout->addWidget(mainWindow);

  centralWidget = new QWidget(this);
  centralWidget->setObjectName("centralWidget");
  centralWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  centralWidget->setLayout(verticalLayout);
  setCentralWidget(centralWidget);

  connect(minimizeButton, &QPushButton::clicked, this, &BorderlessMainWindow::slot_minimized);
  connect(restoreButton, &QPushButton::clicked, this, &BorderlessMainWindow::slot_restored);
  connect(maximizeButton, &QPushButton::clicked, this, &BorderlessMainWindow::slot_maximized);
  connect(closeButton, &QPushButton::clicked, this, &BorderlessMainWindow::slot_closed);
}

bool BorderlessMainWindow::onTitleBar(const QPoint& windowPos) const {
  const QWidget* w = childAt(windowPos);
  return w && (w == titlebarWidget || w == windowTitleLabel);
}

void BorderlessMainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onTitleBar(event->pos())) {
    dragging = true;
    dragStart = event->pos();
  }
  QMainWindow::mousePressEvent(event);
}

void BorderlessMainWindow::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) && dragging && onTitleBar(event->pos()))
    move(pos() + (event->pos() - dragStart));
  QMainWindow::mouseMoveEvent(event);
}

void BorderlessMainWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && onTitleBar(event->pos())) dragging = false;
  QMainWindow::mouseReleaseEvent(event);
}

void BorderlessMainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (onTitleBar(event->pos())) {
    fullScreen = !fullScreen;
    if (fullScreen)
      slot_maximized();
    else
      slot_restored();
  }
  QMainWindow::mouseDoubleClickEvent(event);
}

void BorderlessMainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  mainWindow->redrawAll();
  mainWindow->fitViewsToImageArea();
}

void BorderlessMainWindow::slot_minimized() { setWindowState(Qt::WindowMinimized); }

void BorderlessMainWindow::slot_maximized() {
  restoreButton->setVisible(true);
  maximizeButton->setVisible(false);
  showFullScreen();
  setStyleSheet(kFullScreenBorder);
}

void BorderlessMainWindow::slot_restored() {
  restoreButton->setVisible(false);
  maximizeButton->setVisible(true);
  setWindowState(Qt::WindowNoState);
  setStyleSheet(kNormalBorder);
}

void BorderlessMainWindow::slot_closed() { close(); }

void BorderlessMainWindow::openOnceShown(const QStringList& paths) {
  if (paths.isEmpty() || !mainWindow) return;
  pendingPaths = paths;
  QWindow* handle = windowHandle();
  if (handle && !handle->isExposed()) {
    handle->installEventFilter(this);
    QTimer::singleShot(1000, this, &BorderlessMainWindow::openPendingPaths);  // never exposed: open anyway
  } else {
    QTimer::singleShot(0, this, &BorderlessMainWindow::openPendingPaths);
  }
}

void BorderlessMainWindow::openPendingPaths() {
  if (pendingPaths.isEmpty()) return;
  if (windowHandle()) windowHandle()->removeEventFilter(this);
  const QStringList paths = pendingPaths;
  pendingPaths.clear();
  mainWindow->openPaths(paths);
}

bool BorderlessMainWindow::eventFilter(QObject* watched, QEvent* event) {
  // the exposed window paints first; the paths open from the event loop after that
  if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed())
    QTimer::singleShot(0, this, &BorderlessMainWindow::openPendingPaths);
  return QMainWindow::eventFilter(watched, event);
}
void BorderlessMainWindow::closeEvent(QCloseEvent* event) {
  // a long run is stopped first (its labels are dropped); the window closes once it has
  if (mainWindow && mainWindow->longRunActive()) {
    mainWindow->cancelLongRun(true);
    event->ignore();
    return;
  }
  if (mainWindow && !mainWindow->askBeforeDiscarding()) {
    event->ignore();
    return;
  }
  if (mainWindow) mainWindow->closeCleanly();
  event->accept();
}

QSize BorderlessMainWindow::openingSize(const QSize& available) {
  const QSize designed(1374, 904);
  return available.isValid() && !available.isEmpty() ? designed.boundedTo(available) : designed;
}

void BorderlessMainWindow::resizeToScreen() {
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect area = s ? s->availableGeometry() : QRect();
  resize(openingSize(area.size()));
  if (area.isValid()) move(area.topLeft() + QPoint((area.width() - width()) / 2, (area.height() - height()) / 2));
}
