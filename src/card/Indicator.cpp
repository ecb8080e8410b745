#include "Indicator.h"

#include <QMouseEvent>
#include <QPainter>

Indicator::Indicator(const QString &name, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(name);
    setFixedSize(30, 10);
}

void Indicator::setColour(const QColor &colour)
{
    if (m_colour == colour)
        return;
    m_colour = colour;
    update();
}

void Indicator::setHatched(bool hatched)
{
    if (m_hatched == hatched)
        return;
    m_hatched = hatched;
    update();
}

void Indicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setPen(Qt::NoPen);
    if (m_hatched) {
        painter.fillRect(frame, palette().window());
        painter.setBrush(QBrush(m_colour, Qt::DiagCrossPattern));
    } else {
        painter.setBrush(m_colour);
    }
    painter.drawRect(frame);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
}

void Indicator::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown(event->button());
    event->accept();
}
