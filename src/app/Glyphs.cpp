#include "Glyphs.h"

#include "PaintedIcon.h"

#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace Glyphs {

namespace {

QIcon make(const std::function<void(QPainter &)> &draw)
{
    return paintedIcon(24, draw);
}

QPen pen(const QColor &colour, qreal width = 2)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void plug(QPainter &p, const QColor &colour, bool joined)
{
    p.setPen(pen(colour, 2.2));
    p.setBrush(colour);
    const qreal gap = joined ? 0 : 4;
    // left half
    p.drawRoundedRect(QRectF(3 - gap / 2, 8, 6, 8), 1.5, 1.5);
    p.drawLine(QPointF(9 - gap / 2, 10), QPointF(12 - gap / 2, 10));
    p.drawLine(QPointF(9 - gap / 2, 14), QPointF(12 - gap / 2, 14));
    p.drawLine(QPointF(1, 12), QPointF(3 - gap / 2, 12));
    // right half
    p.drawRoundedRect(QRectF(14 + gap / 2, 7, 7, 10), 1.5, 1.5);
    p.drawLine(QPointF(21 + gap / 2, 12), QPointF(23, 12));
}

void speaker(QPainter &p, const QColor &colour)
{
    QPainterPath body;
    body.moveTo(3, 9);
    body.lineTo(7, 9);
    body.lineTo(12, 4);
    body.lineTo(12, 20);
    body.lineTo(7, 15);
    body.lineTo(3, 15);
    body.closeSubpath();
    p.setPen(pen(colour, 1.5));
    p.setBrush(colour);
    p.drawPath(body);
}

const QColor Ink(0x33, 0x3d, 0x4d);
const QColor Green(0x1e, 0x9e, 0x3e);
const QColor Red(0xd0, 0x2b, 0x2b);
const QColor Blue(0x24, 0x6b, 0xc4);

} // namespace

QList<QIcon> imageList2()
{
    return {
        make([](QPainter &p) { plug(p, Red, false); }),
        make([](QPainter &p) { plug(p, Green, true); }),
        make([](QPainter &p) {
            speaker(p, Ink);
            p.setPen(pen(Red, 2.2));
            p.drawLine(QPointF(15, 8), QPointF(22, 16));
            p.drawLine(QPointF(22, 8), QPointF(15, 16));
        }),
        make([](QPainter &p) {
            speaker(p, Ink);
            p.setPen(pen(Green, 2));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(8, 7, 8, 10), -50 * 16, 100 * 16);
            p.drawArc(QRectF(6, 3, 14, 18), -50 * 16, 100 * 16);
        }),
    };
}

QIcon settings()
{
    return make([](QPainter &p) {
        p.setPen(pen(Ink, 2));
        p.setBrush(Qt::NoBrush);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(12, 12);
            p.rotate(i * 45);
            p.drawLine(QPointF(0, -7), QPointF(0, -10));
            p.restore();
        }
        p.drawEllipse(QPointF(12, 12), 6.5, 6.5);
        p.setBrush(Blue);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
    });
}

static void person(QPainter &p, qreal x, qreal y, qreal s, const QColor &colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(x, y - 5 * s), 3.5 * s, 3.5 * s);
    QPainterPath torso;
    torso.moveTo(x - 6.5 * s, y + 7 * s);
    torso.cubicTo(x - 6.5 * s, y, x + 6.5 * s, y, x + 6.5 * s, y + 7 * s);
    torso.closeSubpath();
    p.drawPath(torso);
}

QIcon changeUser()
{
    return make([](QPainter &p) {
        person(p, 9, 11, 1.0, Ink);
        p.setPen(pen(Blue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(13, 4, 9, 9), 200 * 16, 250 * 16);
        p.drawLine(QPointF(21.5, 3), QPointF(21.5, 7.5));
        p.drawLine(QPointF(21.5, 7.5), QPointF(17.5, 7.5));
    });
}

QIcon localUsers()
{
    return make([](QPainter &p) {
        person(p, 15, 12, 0.9, QColor(0x8a, 0x94, 0xa6));
        person(p, 9, 13, 1.0, Ink);
    });
}

QIcon database()
{
    return make([](QPainter &p) {
        p.setPen(pen(Ink, 1.6));
        p.setBrush(QColor(0xdd, 0xe6, 0xf2));
        p.drawRect(QRectF(5, 6, 14, 13));
        p.drawEllipse(QRectF(5, 15, 14, 6));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(5.8, 8, 12.4, 9.5));
        p.setPen(pen(Ink, 1.6));
        p.setBrush(QColor(0xdd, 0xe6, 0xf2));
        p.drawEllipse(QRectF(5, 3, 14, 6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 9, 14, 6), 180 * 16, 180 * 16);
        p.drawLine(QPointF(5, 6), QPointF(5, 18));
        p.drawLine(QPointF(19, 6), QPointF(19, 18));
    });
}

QIcon report()
{
    return make([](QPainter &p) {
        p.setPen(pen(Ink, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 2.5, 15, 19));
        p.setPen(Qt::NoPen);
        p.setBrush(Green);
        p.drawRect(QRectF(7, 14, 2.5, 5));
        p.drawRect(QRectF(10.8, 10, 2.5, 9));
        p.drawRect(QRectF(14.6, 7, 2.5, 12));
    });
}

QIcon exit()
{
    return make([](QPainter &p) {
        p.setPen(pen(Ink, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(13, 4), QPointF(5, 4));
        p.drawLine(QPointF(5, 4), QPointF(5, 20));
        p.drawLine(QPointF(5, 20), QPointF(13, 20));
        p.setPen(pen(Red, 2.2));
        p.drawLine(QPointF(10, 12), QPointF(21, 12));
        p.drawLine(QPointF(17, 8), QPointF(21, 12));
        p.drawLine(QPointF(17, 16), QPointF(21, 12));
    });
}

} // namespace Glyphs
