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

void Dialogs::notice(QWidget *parent, const QString &fault, const QString &text)
{
    // Noted before the box opens: its event loop may find the fault again.
    // A fault that ended and came back while its box still waits is told
    // by that box.
    const bool told = m_noticed.contains(fault) || m_open.contains(fault);
    m_noticed.insert(fault);
    if (told)
        return;
    m_open.insert(fault);
    message(parent, text);
    m_open.remove(fault);
}

void QtDialogs::message(QWidget *parent, const QString &text)
{
    showBox(parent, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtDialogs::confirm(QWidget *parent, const QString &text)
{
    return showBox(parent, QMessageBox::Question, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}
