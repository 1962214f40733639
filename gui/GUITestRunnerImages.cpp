// The window's artwork, painted at 16 x 16: no icon set from elsewhere, and
// nothing that could go missing from a resource file at run time.
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

#include "gui/GUITestRunner.h"

namespace GUITestRunner::Detail {
namespace {

QIcon Paint(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  draw(p);
  p.end();
  return QIcon(pixmap);
}

void Ball(QPainter& p, const QColor& fill) {
  p.setPen(QPen(fill.darker(160), 1));
  QRadialGradient g(QPointF(6, 5), 9);
  g.setColorAt(0, fill.lighter(170));
  g.setColorAt(1, fill);
  p.setBrush(g);
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
}

void Box(QPainter& p, const QRectF& r, const QColor& frame, const QColor& mark, bool checked) {
  p.setPen(QPen(frame, 1));
  p.setBrush(Qt::white);
  p.drawRect(r);
  if (!checked) return;
  p.setPen(QPen(mark, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QPointF tick[] = {{r.left() + r.width() * 0.2, r.top() + r.height() * 0.5},
                          {r.left() + r.width() * 0.42, r.top() + r.height() * 0.75},
                          {r.left() + r.width() * 0.82, r.top() + r.height() * 0.22}};
  p.drawPolyline(tick, 3);
}

void Triangle(QPainter& p, const QColor& fill, qreal x = 4) {
  p.setPen(QPen(fill.darker(150), 1));
  p.setBrush(fill);
  const QPointF tri[] = {{x, 2.5}, {x + 9, 8}, {x, 13.5}};
  p.drawPolygon(tri, 3);
}

}  // namespace

std::vector<QIcon> RunImages() {
  return {
      Paint([](QPainter& p) {  // not run
        p.setPen(QPen(QColor(150, 150, 150), 1));
        p.setBrush(QColor(235, 235, 235));
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
      }),
      Paint([](QPainter& p) { Triangle(p, QColor(40, 110, 220)); }),  // running
      Paint([](QPainter& p) { Ball(p, QColor(30, 160, 40)); }),        // passed
      Paint([](QPainter& p) {                                          // passed, flagged
        Ball(p, QColor(30, 160, 40));
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(255, 220, 0));
        p.drawRect(QRectF(9.5, 0.5, 6, 4));
        p.drawLine(QPointF(9.5, 0.5), QPointF(9.5, 8));
      }),
      Paint([](QPainter& p) { Ball(p, QColor(220, 0, 220)); }),  // failed
      Paint([](QPainter& p) {                                    // error
        Ball(p, QColor(220, 20, 20));
        p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
      }),
  };
}

std::vector<QIcon> StateImages() {
  const QRectF r(2.5, 2.5, 11, 11);
  return {
      Paint([](QPainter&) {}),  // unused
      Paint([r](QPainter& p) { Box(p, r, QColor(60, 60, 60), Qt::black, false); }),
      Paint([r](QPainter& p) { Box(p, r, QColor(150, 150, 150), QColor(150, 150, 150), true); }),
      Paint([r](QPainter& p) { Box(p, r, QColor(60, 60, 60), Qt::black, true); }),
  };
}

std::vector<QIcon> ActionsImages() {
  const QColor frame(60, 60, 60), green(20, 140, 30), red(200, 20, 20);
  auto twoBoxes = [=](bool checked) {
    return Paint([=](QPainter& p) {
      Box(p, QRectF(0.5, 0.5, 9, 9), frame, green, checked);
      Box(p, QRectF(6.5, 6.5, 9, 9), frame, green, checked);
    });
  };
  return {
      twoBoxes(true),   // 0 select all
      twoBoxes(false),  // 1 deselect all
      Paint([=](QPainter& p) { Box(p, QRectF(2.5, 2.5, 11, 11), frame, green, true); }),   // 2 select current
      Paint([=](QPainter& p) { Box(p, QRectF(2.5, 2.5, 11, 11), frame, green, false); }),  // 3 deselect current
      Paint([=](QPainter& p) {  // 4 select failed
        Box(p, QRectF(0.5, 0.5, 11, 11), frame, green, true);
        p.setPen(QPen(QColor(150, 0, 150), 1));
        p.setBrush(QColor(220, 0, 220));
        p.drawEllipse(QRectF(8.5, 8.5, 7, 7));
      }),
      Paint([=](QPainter& p) {  // 5 options
        p.setPen(QPen(frame, 1.5));
        for (int y : {4, 8, 12}) p.drawLine(QPointF(3, y), QPointF(13, y));
      }),
      Paint([=](QPainter& p) {  // 6 exit
        p.setPen(QPen(frame, 1));
        p.setBrush(QColor(230, 210, 170));
        p.drawRect(QRectF(3.5, 1.5, 8, 13));
        p.setPen(QPen(red, 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(9, 8), QPointF(15, 8));
      }),
      Paint([=](QPainter& p) { Triangle(p, green); }),  // 7 run
      Paint([=](QPainter& p) {                          // 8 stop
        p.setPen(QPen(red.darker(150), 1));
        p.setBrush(red);
        p.drawRect(QRectF(3.5, 3.5, 9, 9));
      }),
      Paint([=](QPainter& p) {  // 9 copy
        p.setPen(QPen(frame, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 8, 10));
        p.drawRect(QRectF(6.5, 4.5, 8, 10));
      }),
      Paint([=](QPainter& p) {  // 10 run selected
        Triangle(p, green, 2);
        p.setPen(QPen(frame, 1));
        p.setBrush(QColor(40, 110, 220));
        p.drawEllipse(QRectF(10.5, 9.5, 5, 5));
      }),
  };
}

QIcon WindowIcon() {
  return Paint([](QPainter& p) {
    // Four tiles: the framework's name.
    const QColor tiles[] = {QColor(30, 160, 40), QColor(40, 110, 220), QColor(220, 0, 220), QColor(240, 180, 0)};
    p.setPen(QPen(Qt::white, 1));
    for (int i = 0; i < 4; ++i) {
      p.setBrush(tiles[i]);
      p.drawRect(QRectF(0.5 + (i % 2) * 8, 0.5 + (i / 2) * 8, 7, 7));
    }
  });
}

}  // namespace GUITestRunner::Detail
