#include "PasswordDelegate.h"

#include <QLineEdit>

QString PasswordDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    const QString text = QStyledItemDelegate::displayText(value, locale);
    if (m_shown || text.isEmpty())
        return text;
    // A fixed number of dots: the length of a password is not shown either.
    // An empty one stays visibly empty, which the person editing must see.
    return QString(8, QChar(0x25CF));
}

QWidget *PasswordDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *box = qobject_cast<QLineEdit *>(editor); box && !m_shown)
        box->setEchoMode(QLineEdit::Password);
    return editor;
}
