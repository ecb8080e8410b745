#include "AlarmMarkDelegate.h"

#include "AlarmWatch.h"

#include <QPainter>

const QColor AlarmMarkDelegate::Mark(0xd5, 0x00, 0x00);

AlarmMarkDelegate::AlarmMarkDelegate(const AlarmWatch &watch, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_watch(watch)
{
}

void AlarmMarkDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // The caption is the IMEI, also through a filtering model in between.
    const bool overdue = m_watch.isOverdue(index.data(Qt::DisplayRole).toString());
    const QRectF ring = QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5);
    if (overdue && m_watch.blinkPhase()) {
        painter->save();
        painter->setPen(Qt::NoPen);
        QColor fill = Mark;
        fill.setAlpha(70);
        painter->setBrush(fill);
        painter->drawRoundedRect(ring, 4, 4);
        painter->restore();
    }
    QStyledItemDelegate::paint(painter, option, index);
    if (!overdue)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(Mark, 3));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(ring, 4, 4);
    painter->restore();
}
