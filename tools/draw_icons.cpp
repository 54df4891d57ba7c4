// Draws the program's pictures: the style-sheet pictures of the compiled-in "darkstyle" set and
// the icon pictures under images/. Run by hand after changing a drawing:
//   morvex-draw-icons SOURCE_DIR
// Every picture is drawn with QPainter on a transparent background, so the set stays consistent.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

const QColor kInk(220, 220, 220);
const QColor kMuted(120, 120, 120);
const QColor kAccent(42, 130, 218);
const QColor kLiver(145, 57, 53);
const QColor kVessel(1, 175, 78);

using Draw = std::function<void(QPainter&, int)>;

bool save(const QString& path, int size, const Draw& draw) {
  QImage img(size, size, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p, size);
  p.end();
  if (!img.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

QPen pen(const QColor& c, double w) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// --- window buttons ------------------------------------------------------------
void minimize(QPainter& p, int s) { p.setPen(pen(kInk, 1.5)); p.drawLine(QPointF(s * .25, s * .7), QPointF(s * .75, s * .7)); }
void maximize(QPainter& p, int s) { p.setPen(pen(kInk, 1.5)); p.drawRect(QRectF(s * .25, s * .25, s * .5, s * .5)); }
void restore(QPainter& p, int s) {
  p.setPen(pen(kInk, 1.5));
  p.drawRect(QRectF(s * .22, s * .38, s * .4, s * .4));
  p.drawPolyline(QPolygonF({QPointF(s * .38, s * .38), QPointF(s * .38, s * .22), QPointF(s * .78, s * .22),
                            QPointF(s * .78, s * .62), QPointF(s * .62, s * .62)}));
}
void cross(QPainter& p, int s, const QColor& c) {
  p.setPen(pen(c, 1.6));
  p.drawLine(QPointF(s * .28, s * .28), QPointF(s * .72, s * .72));
  p.drawLine(QPointF(s * .72, s * .28), QPointF(s * .28, s * .72));
}
void undock(QPainter& p, int s) {
  p.setPen(pen(kInk, 1.4));
  p.drawRect(QRectF(s * .2, s * .35, s * .45, s * .45));
  p.drawLine(QPointF(s * .5, s * .5), QPointF(s * .8, s * .2));
  p.drawPolyline(QPolygonF({QPointF(s * .6, s * .2), QPointF(s * .8, s * .2), QPointF(s * .8, s * .4)}));
}

// --- check boxes and radio buttons ---------------------------------------------------
enum class Mark { Checked, Unchecked, Indeterminate };
enum class Look { Normal, Pressed, Disabled };

QColor frameColor(Look l) { return l == Look::Disabled ? kMuted : (l == Look::Pressed ? kAccent.lighter(130) : kInk); }

void checkbox(QPainter& p, int s, Mark m, Look l) {
  p.setPen(pen(frameColor(l), 1.2));
  p.setBrush(l == Look::Pressed ? QColor(60, 60, 60) : QColor(25, 25, 25));
  p.drawRoundedRect(QRectF(1.5, 1.5, s - 3, s - 3), 2, 2);
  const QColor mark = l == Look::Disabled ? kMuted : kAccent.lighter(140);
  if (m == Mark::Checked) {
    p.setPen(pen(mark, 2.0));
    p.drawPolyline(QPolygonF({QPointF(s * .25, s * .52), QPointF(s * .43, s * .7), QPointF(s * .76, s * .3)}));
  } else if (m == Mark::Indeterminate) {
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawRect(QRectF(s * .28, s * .42, s * .44, s * .16));
  }
}

void radio(QPainter& p, int s, bool checked, Look l) {
  p.setPen(pen(frameColor(l), 1.2));
  p.setBrush(l == Look::Pressed ? QColor(60, 60, 60) : QColor(25, 25, 25));
  p.drawEllipse(QRectF(1.5, 1.5, s - 3, s - 3));
  if (checked) {
    p.setPen(Qt::NoPen);
    p.setBrush(l == Look::Disabled ? kMuted : kAccent.lighter(140));
    p.drawEllipse(QRectF(s * .3, s * .3, s * .4, s * .4));
  }
}

// --- tree branches ---------------------------------------------------------------
void branchArrow(QPainter& p, int s, bool open) {
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  if (open)
    p.drawPolygon(QPolygonF({QPointF(s * .25, s * .38), QPointF(s * .75, s * .38), QPointF(s * .5, s * .68)}));
  else
    p.drawPolygon(QPolygonF({QPointF(s * .38, s * .25), QPointF(s * .68, s * .5), QPointF(s * .38, s * .75)}));
}
void branchLine(QPainter& p, int s, bool more) {
  p.setPen(pen(kMuted, 1.0));
  p.drawLine(QPointF(s * .5, 0), QPointF(s * .5, more ? s : s * .5));
  p.drawLine(QPointF(s * .5, s * .5), QPointF(s, s * .5));
}
void vline(QPainter& p, int s) { p.setPen(pen(kMuted, 1.0)); p.drawLine(QPointF(s * .5, 0), QPointF(s * .5, s)); }

// --- program icons -----------------------------------------------------------------
void folder(QPainter& p, int s, const QColor& fill) {
  QPainterPath path;
  path.moveTo(s * .08, s * .25);
  path.lineTo(s * .38, s * .25);
  path.lineTo(s * .46, s * .34);
  path.lineTo(s * .92, s * .34);
  path.lineTo(s * .92, s * .82);
  path.lineTo(s * .08, s * .82);
  path.closeSubpath();
  p.setPen(pen(fill.darker(160), 1.2));
  p.setBrush(fill);
  p.drawPath(path);
}
void folderMask(QPainter& p, int s) {
  folder(p, s, QColor(222, 180, 80));
  p.setPen(Qt::NoPen);
  p.setBrush(kLiver);
  p.drawEllipse(QRectF(s * .45, s * .45, s * .4, s * .3));
}
void calendar(QPainter& p, int s) {
  p.setPen(pen(QColor(70, 70, 70), 1.2));
  p.setBrush(QColor(240, 240, 240));
  p.drawRect(QRectF(s * .12, s * .2, s * .76, s * .68));
  p.setBrush(QColor(200, 60, 60));
  p.drawRect(QRectF(s * .12, s * .2, s * .76, s * .18));
  p.setPen(pen(QColor(90, 90, 90), 1.0));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) p.drawPoint(QPointF(s * (.24 + c * .17), s * (.5 + r * .13)));
}
void slice(QPainter& p, int s) {
  p.setPen(pen(QColor(70, 70, 70), 1.0));
  p.setBrush(QColor(20, 20, 20));
  p.drawRect(QRectF(s * .12, s * .12, s * .76, s * .76));
  p.setBrush(QColor(170, 170, 170));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QRectF(s * .2, s * .3, s * .6, s * .42));
  p.setBrush(kLiver.lighter(150));
  p.drawEllipse(QRectF(s * .26, s * .36, s * .24, s * .2));
}
void logo(QPainter& p, int s) {
  p.setPen(Qt::NoPen);
  p.setBrush(kLiver);
  QPainterPath liver;
  liver.moveTo(s * .1, s * .45);
  liver.cubicTo(s * .15, s * .15, s * .75, s * .12, s * .92, s * .3);
  liver.cubicTo(s * .8, s * .5, s * .55, s * .85, s * .3, s * .82);
  liver.cubicTo(s * .15, s * .78, s * .08, s * .62, s * .1, s * .45);
  p.drawPath(liver);
  p.setPen(pen(kVessel.lighter(120), s / 14.0));
  p.drawLine(QPointF(s * .35, s * .7), QPointF(s * .5, s * .45));
  p.drawLine(QPointF(s * .5, s * .45), QPointF(s * .7, s * .35));
  p.drawLine(QPointF(s * .5, s * .45), QPointF(s * .4, s * .3));
}


// --- action and tool pictures -----------------------------------------------------------
void floppy(QPainter& p, int s, bool stacked) {
  auto one = [&](double dx, double dy) {
    p.setPen(pen(QColor(40, 60, 90), 1.2));
    p.setBrush(QColor(70, 120, 200));
    p.drawRoundedRect(QRectF(s * (.14 + dx), s * (.14 + dy), s * .66, s * .66), 2, 2);
    p.setBrush(QColor(230, 230, 230));
    p.drawRect(QRectF(s * (.26 + dx), s * (.16 + dy), s * .42, s * .22));
    p.setBrush(QColor(40, 60, 90));
    p.drawRect(QRectF(s * (.28 + dx), s * (.52 + dy), s * .38, s * .24));
  };
  if (stacked) one(.1, .1);
  one(stacked ? -.04 : .03, stacked ? -.04 : .03);
}
void undoArrow(QPainter& p, int s) {
  p.setPen(pen(kInk, s / 10.0));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(s * .3, s * .42);
  path.cubicTo(s * .55, s * .2, s * .9, s * .35, s * .78, s * .72);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawPolygon(QPolygonF({QPointF(s * .12, s * .42), QPointF(s * .38, s * .24), QPointF(s * .38, s * .6)}));
}
void annotation(QPainter& p, int s) {
  p.setPen(pen(QColor(240, 200, 60), 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(s * .12, s * .2, s * .76, s * .6));
  for (int i = 0; i < 3; ++i) p.drawLine(QPointF(s * .24, s * (.35 + i * .15)), QPointF(s * (.76 - i * .12), s * (.35 + i * .15)));
}
void contrast(QPainter& p, int s) {
  p.setPen(pen(kInk, 1.5));
  p.setBrush(QColor(20, 20, 20));
  p.drawEllipse(QRectF(s * .15, s * .15, s * .7, s * .7));
  p.setBrush(kInk);
  p.drawPie(QRectF(s * .15, s * .15, s * .7, s * .7), 90 * 16, 180 * 16);
}
void liverShape(QPainter& p, int s, const QColor& c) {
  QPainterPath liver;
  liver.moveTo(s * .1, s * .45);
  liver.cubicTo(s * .15, s * .15, s * .75, s * .12, s * .92, s * .3);
  liver.cubicTo(s * .8, s * .5, s * .55, s * .85, s * .3, s * .82);
  liver.cubicTo(s * .15, s * .78, s * .08, s * .62, s * .1, s * .45);
  p.setPen(pen(c.darker(150), 1.2));
  p.setBrush(c);
  p.drawPath(liver);
}
void liverSegmentation(QPainter& p, int s) {
  liverShape(p, s, kLiver);
  p.setPen(QPen(QColor(255, 230, 120), 1.5, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(s * .05, s * .08, s * .9, s * .84));
}
void divideLine(QPainter& p, int s, int parts, const char* tag) {
  liverShape(p, s, kLiver);
  p.setPen(pen(QColor(47, 82, 143).lighter(160), 2.0));
  for (int i = 1; i <= parts; ++i) {
    const double x = s * (.2 + .6 * i / (parts + 1.0));
    p.drawLine(QPointF(x, s * .1), QPointF(x - s * .1, s * .9));
  }
  if (tag[0]) {
    p.setPen(pen(kInk, 1.4));
    p.drawLine(QPointF(s * .7, s * .86), QPointF(s * .92, s * .86));
    if (tag[0] == '3') p.drawLine(QPointF(s * .7, s * .86), QPointF(s * .82, s * .72));
  }
}
void selectionTool(QPainter& p, int s) {
  p.setPen(QPen(kInk, 1.4, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(s * .12, s * .18, s * .6, s * .5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 200, 60));
  p.drawPolygon(QPolygonF({QPointF(s * .5, s * .45), QPointF(s * .9, s * .62), QPointF(s * .7, s * .7), QPointF(s * .62, s * .9)}));
}
void livewire(QPainter& p, int s) {
  p.setPen(pen(QColor(60, 220, 120), 1.8));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(s * .12, s * .8);
  path.cubicTo(s * .2, s * .2, s * .5, s * .9, s * .88, s * .2);
  p.drawPath(path);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  p.drawEllipse(QPointF(s * .12, s * .8), s * .07, s * .07);
  p.drawEllipse(QPointF(s * .88, s * .2), s * .07, s * .07);
}
void plusMinus(QPainter& p, int s, bool plus) {
  p.setPen(QPen(kInk, 1.4, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawPolygon(QPolygonF({QPointF(s * .12, s * .3), QPointF(s * .55, s * .12), QPointF(s * .7, s * .55), QPointF(s * .3, s * .75)}));
  p.setPen(pen(plus ? QColor(60, 220, 120) : QColor(230, 80, 70), 2.2));
  p.drawLine(QPointF(s * .62, s * .8), QPointF(s * .9, s * .8));
  if (plus) p.drawLine(QPointF(s * .76, s * .66), QPointF(s * .76, s * .94));
}
void brush(QPainter& p, int s) {
  p.setPen(pen(QColor(180, 130, 70), s / 9.0));
  p.drawLine(QPointF(s * .85, s * .12), QPointF(s * .45, s * .55));
  p.setPen(Qt::NoPen);
  p.setBrush(kLiver.lighter(130));
  p.drawEllipse(QRectF(s * .12, s * .5, s * .38, s * .36));
}
void eraser(QPainter& p, int s) {
  p.save();
  p.translate(s * .5, s * .5);
  p.rotate(-35);
  p.setPen(pen(QColor(90, 90, 90), 1.2));
  p.setBrush(QColor(235, 120, 140));
  p.drawRect(QRectF(-s * .36, -s * .16, s * .4, s * .32));
  p.setBrush(QColor(230, 230, 230));
  p.drawRect(QRectF(s * .04, -s * .16, s * .3, s * .32));
  p.restore();
}
void roi(QPainter& p, int s) {
  p.setPen(QPen(QColor(240, 200, 60), 1.6, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(s * .15, s * .2, s * .7, s * .6));
}
void chart(QPainter& p, int s, bool group) {
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent.lighter(130));
  const double h[] = {.3, .6, .45, .75};
  for (int i = 0; i < 4; ++i) p.drawRect(QRectF(s * (.12 + i * .2), s * (.88 - h[i]), s * .14, s * h[i]));
  if (group) {
    p.setPen(pen(kInk, 1.2));
    p.drawLine(QPointF(s * .1, s * .12), QPointF(s * .9, s * .12));
  }
}
void scissors(QPainter& p, int s) {
  p.setPen(pen(QColor(240, 240, 240), s / 14.0));
  p.drawLine(QPointF(s * .2, s * .15), QPointF(s * .75, s * .7));
  p.drawLine(QPointF(s * .8, s * .15), QPointF(s * .25, s * .7));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(s * .2, s * .8), s * .12, s * .12);
  p.drawEllipse(QPointF(s * .8, s * .8), s * .12, s * .12);
}
void vesselTree(QPainter& p, int s) {
  p.setPen(pen(kVessel.lighter(120), s / 12.0));
  p.drawLine(QPointF(s * .5, s * .9), QPointF(s * .5, s * .5));
  p.drawLine(QPointF(s * .5, s * .5), QPointF(s * .2, s * .15));
  p.drawLine(QPointF(s * .5, s * .5), QPointF(s * .8, s * .15));
  p.drawLine(QPointF(s * .5, s * .6), QPointF(s * .85, s * .5));
}

struct Item {
  const char* name;
  int size;
  Draw draw;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SOURCE_DIR\n", argv[0]);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  const QString style = root + "/app/darkstyle/";
  const QString images = root + "/images/";
  QDir().mkpath(style);
  QDir().mkpath(images);

  std::vector<Item> styleItems = {
      {"icon_window_minimize.png", 16, minimize},
      {"icon_window_restore.png", 16, restore},
      {"icon_window_maximize.png", 16, maximize},
      {"icon_window_close.png", 16, [](QPainter& p, int s) { cross(p, s, kInk); }},
      {"icon_close.png", 16, [](QPainter& p, int s) { cross(p, s, kMuted.lighter(140)); }},
      {"icon_undock.png", 16, undock},
      {"icon_branch_open.png", 16, [](QPainter& p, int s) { branchArrow(p, s, true); }},
      {"icon_branch_closed.png", 16, [](QPainter& p, int s) { branchArrow(p, s, false); }},
      {"icon_branch_more.png", 16, [](QPainter& p, int s) { branchLine(p, s, true); }},
      {"icon_branch_end.png", 16, [](QPainter& p, int s) { branchLine(p, s, false); }},
      {"icon_vline.png", 16, vline},
  };
  const std::pair<const char*, Mark> marks[] = {
      {"checked", Mark::Checked}, {"unchecked", Mark::Unchecked}, {"indeterminate", Mark::Indeterminate}};
  const std::pair<const char*, Look> looks[] = {{"", Look::Normal}, {"_pressed", Look::Pressed}, {"_disabled", Look::Disabled}};
  std::vector<QByteArray> names;  // keeps the generated names alive
  names.reserve(32);
  for (const auto& m : marks)
    for (const auto& l : looks) {
      names.push_back(QByteArray("icon_checkbox_") + m.first + l.first + ".png");
      const Mark mark = m.second;
      const Look look = l.second;
      styleItems.push_back({names.back().constData(), 16, [mark, look](QPainter& p, int s) { checkbox(p, s, mark, look); }});
    }
  for (bool checked : {true, false})
    for (const auto& l : looks) {
      names.push_back(QByteArray("icon_radiobutton_") + (checked ? "checked" : "unchecked") + l.first + ".png");
      const Look look = l.second;
      styleItems.push_back({names.back().constData(), 16, [checked, look](QPainter& p, int s) { radio(p, s, checked, look); }});
    }
  const std::vector<Item> imageItems = {
      {"logo.png", 24, logo},
      {"folder.png", 32, [](QPainter& p, int s) { folder(p, s, QColor(222, 180, 80)); }},
      {"folder_mask.png", 32, folderMask},
      {"calendar.png", 32, calendar},
      {"dcm.png", 32, slice},
      {"save.png", 32, [](QPainter& p, int s) { floppy(p, s, false); }},
      {"saveAll.png", 32, [](QPainter& p, int s) { floppy(p, s, true); }},
      {"undo.png", 32, undoArrow},
      {"Display Annotation.png", 32, annotation},
      {"contrast2.png", 32, contrast},
      {"LiverDefault.png", 48, [](QPainter& p, int s) { liverShape(p, s, kLiver); }},
      {"LiverSoft.png", 48, [](QPainter& p, int s) { liverShape(p, s, kLiver.lighter(150)); }},
      {"LiverHard.png", 48, [](QPainter& p, int s) { liverShape(p, s, kLiver.darker(160)); }},
      {"LiverSegmentation.png", 48, liverSegmentation},
      {"divideSingle(2d).png", 48, [](QPainter& p, int s) { divideLine(p, s, 1, "2"); }},
      {"divideSingle(3d).png", 48, [](QPainter& p, int s) { divideLine(p, s, 1, "3"); }},
      {"divideMulti.png", 48, [](QPainter& p, int s) { divideLine(p, s, 3, ""); }},
      {"selectionTool3.png", 48, selectionTool},
      {"livewire3.png", 48, livewire},
      {"add6.png", 48, [](QPainter& p, int s) { plusMinus(p, s, true); }},
      {"cut5.png", 48, [](QPainter& p, int s) { plusMinus(p, s, false); }},
      {"brush2.png", 48, brush},
      {"eraser.png", 48, eraser},
      {"roi.png", 48, roi},
      {"histogramSave.png", 48, [](QPainter& p, int s) { chart(p, s, false); }},
      {"histogramSaveGroup.png", 48, [](QPainter& p, int s) { chart(p, s, true); }},
      {"vesselSegmentation.png", 48, vesselTree},
      {"scissor2.png", 30, scissors},
      {"brush4.png", 30, brush},
  };
  bool ok = true;
  {
    // The merged-overlay layer picture is a JPEG by name.
    QImage merged(32, 32, QImage::Format_RGB32);
    merged.fill(QColor(20, 20, 20));
    QPainter p(&merged);
    p.setRenderHint(QPainter::Antialiasing);
    slice(p, 32);
    p.setPen(Qt::NoPen);
    p.setBrush(kVessel);
    p.drawEllipse(QRectF(15, 14, 6, 6));
    p.end();
    ok = merged.save(images + "Total merged overlay image.jpg", "JPG", 95) && ok;
  }
  for (const Item& it : styleItems) ok = save(style + it.name, it.size, it.draw) && ok;
  for (const Item& it : imageItems) ok = save(images + it.name, it.size, it.draw) && ok;
  std::printf("%zu style pictures, %zu images\n", styleItems.size(), imageItems.size());
  return ok ? 0 : 1;
}
