#pragma once

#include <optional>

class QRect;
class QWidget;

namespace WindowPlacement {

// Centres a window over another one that is on screen, or on its screen.
void centreOver(QWidget *window, const QWidget *over);

// A saved window geometry as it can be shown on the screens there are now:
// none when too little of it (its title bar above all) would be on any
// screen to take hold of it, otherwise cut down to that screen's free area.
std::optional<QRect> reachable(const QRect &geometry);

// Esc closes the window, as in any dialog.
void closeOnEscape(QWidget *window);

} // namespace WindowPlacement
