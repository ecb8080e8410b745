#pragma once

#include <QObject>

class QLineEdit;

// Key filter and value rule of the number boxes (the port boxes of the
// connection settings).
namespace NumberBox {

// Lets digits, backspace and the minus sign pass; any other typed character
// is replaced by the zero character, which the box then ignores.
void KeyPressDigit(QObject *sender, QChar &key);

// An emptied box gets the minimum; a value above the maximum becomes the
// maximum. A value below the minimum is left alone, and so is a text that is
// no whole number yet (a lone "-" while a negative number is being typed).
void Edit_value(QLineEdit *box, int minimum, int maximum);

// The whole-number value of a box, or nothing when its text is no number.
bool valueOf(const QLineEdit *box, long long *value);

// Installs KeyPressDigit on a box as an event filter.
void installDigitFilter(QLineEdit *box);

} // namespace NumberBox
