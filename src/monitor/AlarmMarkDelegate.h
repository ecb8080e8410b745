#pragma once

#include <QStyledItemDelegate>

class AlarmWatch;

// Draws the object list's entries as usual and rings those whose alarm has
// waited too long in red, the ring's inside flashing with the watch's blink.
class AlarmMarkDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    AlarmMarkDelegate(const AlarmWatch &watch, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static const QColor Mark;

private:
    const AlarmWatch &m_watch;
};
