#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace WindowPlacement {

void centreOver(QWidget *window, const QWidget *over)
{
    QRect area;
    if (over && over->isVisible())
        area = over->frameGeometry();
    else if (const QScreen *screen = window->screen())
        area = screen->availableGeometry();
    else
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

std::optional<QRect> reachable(const QRect &geometry)
{
    // Enough of the top edge to grab and drag the window back.
    constexpr int GripWidth = 120;
    constexpr int GripHeight = 30;
    if (!geometry.isValid())
        return std::nullopt;
    const QRect grip(geometry.left(), geometry.top(), geometry.width(), GripHeight);
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect area = screen->availableGeometry();
        const QRect seen = area.intersected(grip);
        if (seen.width() < GripWidth || seen.height() < GripHeight)
            continue;
        // A window larger than the screen it is on now (a smaller monitor)
        // would hide its own edges.
        QRect fitted = geometry;
        fitted.setWidth(qMin(geometry.width(), area.width()));
        fitted.setHeight(qMin(geometry.height(), area.height()));
        return fitted;
    }
    return std::nullopt;
}

void closeOnEscape(QWidget *window)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
}

} // namespace WindowPlacement
