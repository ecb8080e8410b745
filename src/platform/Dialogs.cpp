#include "Dialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QString title()
{
    return QApplication::applicationDisplayName();
}

} // namespace

void QtDialogs::message(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, title(), text);
}

bool QtDialogs::confirm(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, title(), text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Ok;
}
