#pragma once

#include <QString>

class QFrame;
class QLabel;
class QWidget;

// The few widget shapes every window of the station uses alike.

// A panel with the desktop's styled frame, named for tests and style sheets.
QFrame *panelFrame(QWidget *parent, const QString &objectName);
// A bold caption over a panel's content, shown as plain text.
QLabel *captionLabel(const QString &text, QWidget *parent);
