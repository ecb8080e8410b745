#include "NumberBox.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace NumberBox {

namespace {

class DigitFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const QString text = static_cast<QKeyEvent *>(event)->text();
        // Keys without a character (arrows, Delete, Home) are no typing.
        if (text.isEmpty())
            return false;
        for (QChar key : text) {
            // Control characters (Tab, Delete as 0x7f, Enter) edit or move
            // the focus; only what would be typed is filtered.
            if (!key.isPrint())
                continue;
            KeyPressDigit(watched, key);
            if (key.isNull())
                return true;
        }
        return false;
    }
};

} // namespace

void KeyPressDigit(QObject *, QChar &key)
{
    const bool digit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
    if (!digit && key != QChar(8) && key != QLatin1Char('-'))
        key = QChar();
}

bool valueOf(const QLineEdit *box, long long *value)
{
    bool ok = false;
    const long long v = box->text().toLongLong(&ok, 10);
    if (ok)
        *value = v;
    return ok;
}

void Edit_value(QLineEdit *box, int minimum, int maximum)
{
    if (box->text().isEmpty()) {
        box->setText(QString::number(minimum));
        return;
    }
    long long value = 0;
    if (valueOf(box, &value) && value > maximum)
        box->setText(QString::number(maximum));
}

void installDigitFilter(QLineEdit *box)
{
    box->installEventFilter(new DigitFilter(box));
}

} // namespace NumberBox
