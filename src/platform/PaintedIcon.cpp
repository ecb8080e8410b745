#include "PaintedIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon paintedIcon(int size, const std::function<void(QPainter &)> &draw)
{
    QIcon icon;
    for (const qreal scale : {1.0, 1.5, 2.0, 3.0}) {
        QPixmap pixmap(QSize(size, size) * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
