#include "WindowPlacement.h"

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

void closeOnEscape(QWidget *window)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
}

} // namespace WindowPlacement
