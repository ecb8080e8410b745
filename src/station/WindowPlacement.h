#pragma once

class QWidget;

namespace WindowPlacement {

// Centres a window over another one that is on screen, or on its screen.
void centreOver(QWidget *window, const QWidget *over);

// Esc closes the window, as in any dialog.
void closeOnEscape(QWidget *window);

} // namespace WindowPlacement
