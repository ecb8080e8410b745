#include "StateIcons.h"

#include "PaintedIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace StateIcons {

namespace {

QIcon make(const std::function<void(QPainter &)> &draw)
{
    return paintedIcon(Size, draw);
}

QPen stroke(const QColor &colour, qreal width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A darker rim keeps the light fills (yellow, light blue) apart from a white
// or light list background.
void disc(QPainter &p, const QColor &fill)
{
    p.setPen(stroke(fill.darker(150), 1.2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.6, 1.6, 20.8, 20.8));
}

void cross(QPainter &p)
{
    p.setPen(stroke(Qt::white, 3.0));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
}

void tick(QPainter &p)
{
    QPainterPath path;
    path.moveTo(6.8, 12.4);
    path.lineTo(10.4, 16.0);
    path.lineTo(17.4, 8.2);
    p.setPen(stroke(Qt::white, 3.0));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void triangle(QPainter &p, const QColor &fill)
{
    QPainterPath path;
    path.moveTo(12, 1.8);
    path.lineTo(22.6, 21.4);
    path.lineTo(1.4, 21.4);
    path.closeSubpath();
    p.setPen(stroke(fill.darker(150), 1.2));
    p.setBrush(fill);
    p.drawPath(path);

    p.setPen(stroke(Qt::white, 2.8));
    p.drawLine(QPointF(12, 8.2), QPointF(12, 14.2));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 18.0), 1.6, 1.6);
}

// Blue for "not connected", a deep amber yellow (white stays readable on it),
// green for armed, signal red for an alarm, and a clear sky blue for an alarm
// being handled: five hues an operator tells apart at a glance, with circles
// for quiet states and triangles for alarms.
const QColor Blue(0x1f, 0x5f, 0xc8);
const QColor Yellow(0xf0, 0xb0, 0x00);
const QColor Green(0x1f, 0xa0, 0x3c);
const QColor Red(0xe0, 0x1b, 0x1b);
const QColor LightBlue(0x3d, 0xb5, 0xf0);

} // namespace

QList<QIcon> ImageList1()
{
    return {
        make([](QPainter &p) {
            disc(p, Blue);
            cross(p);
        }),
        make([](QPainter &p) {
            disc(p, Yellow);
            tick(p);
        }),
        make([](QPainter &p) {
            disc(p, Green);
            tick(p);
        }),
        make([](QPainter &p) { triangle(p, Red); }),
        make([](QPainter &p) { triangle(p, LightBlue); }),
    };
}

} // namespace StateIcons
