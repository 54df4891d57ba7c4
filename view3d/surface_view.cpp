// The 3D view: VTK's Qt widget with one actor per label surface and a plane for the axial slice.

#include "view3d/surface_view.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPushButton>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <map>
#include <new>

#include <QVTKOpenGLNativeWidget.h>
#include <vtkActor.h>
#include <vtkCamera.h>
#include <vtkCellPicker.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkInteractorStyleTrackballCamera.h>
#include <vtkPlaneSource.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderStepsPass.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkSmartPointer.h>

#include "view3d/label_surfaces.h"

using morvex::view3d::LabelSurfaces;
using morvex::view3d::SliceStack;

struct CSurfaceView::Impl {
  bool available = false;
  QVTKOpenGLNativeWidget* vtkWidget = nullptr;
  vtkSmartPointer<vtkGenericOpenGLRenderWindow> window;
  vtkSmartPointer<vtkRenderer> renderer;
  vtkSmartPointer<vtkCellPicker> picker;
  vtkSmartPointer<vtkPlaneSource> plane;
  vtkSmartPointer<vtkActor> planeActor;
  // The worker's engine; shared so that a run outliving the widget still has it.
  std::shared_ptr<LabelSurfaces> surfaces = std::make_shared<LabelSurfaces>();
  QFutureWatcher<std::vector<int>> watcher;
  SliceStack running, shown;          // the stack being computed, the one in the picture
  std::unique_ptr<SliceStack> waiting;  // the newest stack, not started yet
  struct Look {
    QColor colour{200, 200, 200};
    bool visible = true;
    double opacity = 1.0;
    vtkSmartPointer<vtkActor> actor;
  };
  std::map<int, Look> looks;
  int slice = -1;
  bool planeShown = true;
  bool viewSet = false;
  QPoint pressAt;
};

namespace {

void applyLook(vtkActor* actor, const QColor& c, bool visible, double opacity) {
  vtkProperty* p = actor->GetProperty();
  p->SetColor(c.redF(), c.greenF(), c.blueF());
  p->SetOpacity(std::clamp(opacity, 0.0, 1.0));
  p->SetAmbient(0.1);
  p->SetDiffuse(0.8);
  p->SetSpecular(0.25);
  p->SetSpecularPower(30);
  // the surfaces are closed and face outwards: their back faces are never seen when opaque, and
  // when translucent only the near shell is blended (unsorted back faces would streak it); culling
  // them halves what the rasteriser shades
  p->BackfaceCullingOn();
  actor->SetVisibility(visible);
}

}  // namespace

void CSurfaceView::prepareApplication() { QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat()); }

// Whether the OpenGL of renderingAvailable() rasterises on the processor (multisampling there costs
// more than the rest of the frame).
static bool softwareRendering = false;

bool CSurfaceView::renderingAvailable(QString* why) {
  static int state = -1;
  static QString reason;
  if (state < 0) {
    state = 0;
    const QString platform = QGuiApplication::platformName();
    if (platform.isEmpty() || platform == "offscreen" || platform == "minimal" || platform == "minimalegl") {
      reason = tr("no display");
    } else {
      QOpenGLContext context;
      context.setFormat(QVTKOpenGLNativeWidget::defaultFormat());
      QOffscreenSurface surface;
      surface.setFormat(context.format());
      surface.create();
      if (!context.create() || !context.makeCurrent(&surface)) {
        reason = tr("no OpenGL");
      } else if (context.format().version() < qMakePair(3, 2)) {
        reason = tr("OpenGL %1.%2 is older than 3.2").arg(context.format().majorVersion()).arg(context.format().minorVersion());
      } else {
        state = 1;
        const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
        const QString renderer = QString::fromLatin1(name ? name : "").toLower();
        softwareRendering = renderer.contains("llvmpipe") || renderer.contains("softpipe") || renderer.contains("software");
        qInfo("3D view: OpenGL renderer %s%s", name ? name : "(unnamed)", softwareRendering ? " (software: no multisampling)" : "");
      }
      context.doneCurrent();
    }
  }
  if (why) *why = reason;
  return state == 1;
}

CSurfaceView::CSurfaceView(QWidget* parent) : QWidget(parent), d_(std::make_unique<Impl>()) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  QString why;
  d_->available = renderingAvailable(&why);
  if (!d_->available) {
    auto* label = new QLabel(tr("3D view unavailable: %1").arg(why), this);
    label->setObjectName("label_View3dUnavailable");
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    layout->addWidget(label);
    return;
  }
  auto* bar = new QHBoxLayout;
  auto* reset = new QPushButton(tr("Reset view"), this);
  reset->setObjectName("pushButton_ResetView");
  reset->setToolTip(tr("Front view, head up (R)"));
  connect(reset, &QPushButton::clicked, this, &CSurfaceView::resetView);
  auto* planeBox = new QCheckBox(tr("Axial slice"), this);
  planeBox->setObjectName("checkBox_SlicePlane");
  planeBox->setChecked(true);
  connect(planeBox, &QCheckBox::toggled, this, &CSurfaceView::setSlicePlaneShown);
  auto* snap = new QPushButton(tr("Snapshot..."), this);
  snap->setObjectName("pushButton_Snapshot");
  connect(snap, &QPushButton::clicked, this, &CSurfaceView::saveSnapshotByButton);
  bar->addWidget(reset);
  bar->addWidget(planeBox);
  bar->addStretch(1);
  bar->addWidget(snap);
  layout->addLayout(bar);

  d_->vtkWidget = new QVTKOpenGLNativeWidget(this);
  d_->window = vtkSmartPointer<vtkGenericOpenGLRenderWindow>::New();
  if (softwareRendering) d_->window->SetMultiSamples(0);
  d_->vtkWidget->setRenderWindow(d_->window);
  d_->renderer = vtkSmartPointer<vtkRenderer>::New();
  d_->renderer->SetBackground(0.08, 0.08, 0.1);
  d_->window->AddRenderer(d_->renderer);
  if (softwareRendering) {
    // VTK blends translucent surfaces order-independently by default: two floating-point
    // targets and a full-window pass per frame, the dearest step of a software frame. With the
    // back faces culled, plain blending over the opaque surfaces draws the same picture.
    auto passes = vtkSmartPointer<vtkRenderStepsPass>::New();
    d_->renderer->SetPass(passes);
  }
  d_->window->GetInteractor()->SetInteractorStyle(vtkSmartPointer<vtkInteractorStyleTrackballCamera>::New());
  d_->picker = vtkSmartPointer<vtkCellPicker>::New();
  d_->picker->SetTolerance(0.0005);

  d_->plane = vtkSmartPointer<vtkPlaneSource>::New();
  auto planeMapper = vtkSmartPointer<vtkPolyDataMapper>::New();
  planeMapper->SetInputConnection(d_->plane->GetOutputPort());
  d_->planeActor = vtkSmartPointer<vtkActor>::New();
  d_->planeActor->SetMapper(planeMapper);
  d_->planeActor->PickableOff();
  d_->planeActor->GetProperty()->SetColor(0.85, 0.85, 0.9);
  d_->planeActor->GetProperty()->SetOpacity(0.3);
  d_->planeActor->GetProperty()->LightingOff();
  d_->planeActor->VisibilityOff();
  d_->renderer->AddActor(d_->planeActor);

  layout->addWidget(d_->vtkWidget, 1);
  d_->vtkWidget->installEventFilter(this);
  connect(&d_->watcher, &QFutureWatcherBase::finished, this, &CSurfaceView::applyUpdate);
}

CSurfaceView::~CSurfaceView() = default;

bool CSurfaceView::available() const { return d_->available; }

void CSurfaceView::setLabels(const SliceStack& stack) {
  if (!d_->available) return;
  d_->waiting = std::make_unique<SliceStack>(stack);
  startUpdate();
}

bool CSurfaceView::busy() const { return d_->watcher.isRunning() || d_->waiting; }

void CSurfaceView::startUpdate() {
  if (d_->watcher.isRunning() || !d_->waiting) return;
  d_->running = std::move(*d_->waiting);
  d_->waiting.reset();
  std::shared_ptr<LabelSurfaces> surfaces = d_->surfaces;
  SliceStack stack = d_->running;
  d_->watcher.setFuture(QtConcurrent::run([surfaces, stack]() -> std::vector<int> {
    try {
      return surfaces->update(stack);
    } catch (const std::bad_alloc&) {
      qWarning("3D view: out of memory while computing surfaces");
      return {};
    }
  }));
}

void CSurfaceView::applyUpdate() {
  const std::vector<int> changed = d_->watcher.result();
  d_->shown = std::move(d_->running);
  QVector<int> labels;
  for (int label : changed) {
    labels << label;
    Impl::Look& look = d_->looks[label];
    vtkPolyData* mesh = d_->surfaces->surface(label);
    if (!mesh) {
      if (look.actor) d_->renderer->RemoveActor(look.actor);
      look.actor = nullptr;
      continue;
    }
    if (!look.actor) {
      auto mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
      mapper->ScalarVisibilityOff();
      look.actor = vtkSmartPointer<vtkActor>::New();
      look.actor->SetMapper(mapper);
      applyLook(look.actor, look.colour, look.visible, look.opacity);
      d_->renderer->AddActor(look.actor);
    }
    vtkPolyDataMapper::SafeDownCast(look.actor->GetMapper())->SetInputData(mesh);
  }
  updateSlicePlane();
  if (!d_->viewSet && !d_->surfaces->labels().empty()) {
    resetView();
    d_->viewSet = true;
  }
  d_->window->Render();
  emit surfacesUpdated(labels);
  startUpdate();
}

void CSurfaceView::setLabelColour(int label, const QColor& colour) {
  Impl::Look& look = d_->looks[label];
  if (look.colour == colour) return;
  look.colour = colour;
  if (look.actor) applyLook(look.actor, look.colour, look.visible, look.opacity), d_->window->Render();
}

void CSurfaceView::setLabelVisible(int label, bool visible) {
  Impl::Look& look = d_->looks[label];
  if (look.visible == visible) return;
  look.visible = visible;
  if (look.actor) applyLook(look.actor, look.colour, look.visible, look.opacity), d_->window->Render();
}

void CSurfaceView::setLabelOpacity(int label, double opacity) {
  Impl::Look& look = d_->looks[label];
  if (look.opacity == opacity) return;
  look.opacity = opacity;
  if (look.actor) applyLook(look.actor, look.colour, look.visible, look.opacity), d_->window->Render();
}

void CSurfaceView::setSlice(int slice) {
  if (slice == d_->slice) return;
  d_->slice = slice;
  updateSlicePlane();
}

void CSurfaceView::setSlicePlaneShown(bool shown) {
  d_->planeShown = shown;
  updateSlicePlane();
}

void CSurfaceView::updateSlicePlane() {
  if (!d_->available) return;
  const SliceStack& s = d_->shown;
  const bool on = d_->planeShown && d_->slice >= 0 && d_->slice < s.sliceCount();
  d_->planeActor->SetVisibility(on);
  if (on) {
    double o[3], p1[3], p2[3];
    s.toWorld(-0.5, -0.5, d_->slice, o);
    s.toWorld(s.width - 0.5, -0.5, d_->slice, p1);
    s.toWorld(-0.5, s.height - 0.5, d_->slice, p2);
    d_->plane->SetOrigin(o);
    d_->plane->SetPoint1(p1);
    d_->plane->SetPoint2(p2);
  }
  d_->window->Render();
}

void CSurfaceView::resetView() {
  if (!d_->available) return;
  double b[6] = {0, -1, 0, -1, 0, -1};  // union of the shown surfaces' boxes
  for (const auto& [label, look] : d_->looks) {
    if (!look.actor || !look.visible) continue;
    const double* a = look.actor->GetBounds();
    for (int i = 0; i < 6; i += 2) {
      const bool first = b[1] < b[0];
      b[i] = first || a[i] < b[i] ? a[i] : b[i];
      b[i + 1] = first || a[i + 1] > b[i + 1] ? a[i + 1] : b[i + 1];
    }
  }
  if (b[1] < b[0]) d_->renderer->ComputeVisiblePropBounds(b);
  if (b[1] < b[0]) return;
  vtkCamera* camera = d_->renderer->GetActiveCamera();
  const double c[3] = {(b[0] + b[1]) / 2, (b[2] + b[3]) / 2, (b[4] + b[5]) / 2};
  // from the front (y points to the back), head up
  camera->SetFocalPoint(c);
  camera->SetPosition(c[0], c[1] - 1, c[2]);
  camera->SetViewUp(0, 0, 1);
  d_->renderer->ResetCamera(b);
  d_->window->Render();
}

QImage CSurfaceView::snapshot() {
  if (!d_->available) return QImage();
  d_->window->Render();
  return d_->vtkWidget->grabFramebuffer();
}

bool CSurfaceView::saveSnapshot(const QString& path) {
  const QImage image = snapshot();
  return !image.isNull() && image.save(path, "PNG");
}

void CSurfaceView::saveSnapshotByButton() {
  const QString path = chooseSnapshotPath_ ? chooseSnapshotPath_()
                                           : QFileDialog::getSaveFileName(this, tr("Save 3D snapshot"), QString(),
                                                                          tr("PNG images (*.png)"));
  if (path.isEmpty()) return;
  if (!saveSnapshot(path)) QMessageBox::warning(this, tr("Snapshot"), tr("Could not write %1").arg(path));
}

void CSurfaceView::renderFrame(double azimuth) {
  if (!d_->available) return;
  d_->renderer->GetActiveCamera()->Azimuth(azimuth);
  d_->window->Render();
  d_->window->WaitForCompletion();
}

long CSurfaceView::shownTriangles() const {
  long n = 0;
  for (const auto& [label, look] : d_->looks)
    if (look.actor && look.visible)
      if (vtkPolyData* mesh = d_->surfaces->surface(label)) n += static_cast<long>(mesh->GetNumberOfPolys());
  return n;
}

bool CSurfaceView::eventFilter(QObject* watched, QEvent* event) {
  if (watched != d_->vtkWidget) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_R) {
    resetView();
    return true;  // not VTK's own reset, which keeps the current direction
  }
  if (event->type() == QEvent::MouseButtonPress) {
    d_->pressAt = static_cast<QMouseEvent*>(event)->pos();
  } else if (event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && (mouse->pos() - d_->pressAt).manhattanLength() <= 3) pickAt(mouse->pos());
  }
  return false;
}

void CSurfaceView::pickAt(const QPoint& pos) {
  const double ratio = d_->vtkWidget->devicePixelRatioF();
  const double x = pos.x() * ratio, y = (d_->vtkWidget->height() - pos.y() - 1) * ratio;
  if (!d_->picker->Pick(x, y, 0, d_->renderer) || d_->picker->GetCellId() < 0) return;
  double p[3];
  d_->picker->GetPickPosition(p);
  const int slice = d_->shown.sliceAt(p[2]);
  if (slice >= 0 && slice < d_->shown.sliceCount()) emit slicePicked(slice);
}
