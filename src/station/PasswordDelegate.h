#pragma once

#include <QStyledItemDelegate>

// Paints a column of passwords as dots and edits it with the typed characters
// hidden, unless told to show them: whoever looks over the shoulder of the
// person editing the local users must not read the others' passwords.
class PasswordDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setShown(bool shown) { m_shown = shown; }
    bool isShown() const { return m_shown; }

    QString displayText(const QVariant &value, const QLocale &locale) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    bool m_shown = false;
};
