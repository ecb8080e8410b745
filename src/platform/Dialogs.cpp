#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QString title()
{
    return QApplication::applicationDisplayName();
}

// The texts quote database values and server errors, which may look like
// markup: they are shown as written.
int showBox(QWidget *parent, QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title(), text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void QtDialogs::message(QWidget *parent, const QString &text)
{
    showBox(parent, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::confirm(QWidget *parent, const QString &text)
{
    return showBox(parent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}
