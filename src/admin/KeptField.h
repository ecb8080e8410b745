#pragma once

#include <QObject>
#include <QString>

#include <algorithm>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

// An edit field that shows a value as stored and gives it back as stored.
// Other programs write these tables too: a value longer than the field's
// limit, or with line ends the field would change, is shown whole and, left
// untouched, is written back byte for byte; the limit holds for what is
// typed. An edit box, a memo or an editable combo box.
class KeptField final : public QObject
{
    Q_OBJECT

public:
    // limit: the most characters that may be typed; 0 for none.
    KeptField(QLineEdit *edit, const QString &caption, int limit);
    KeptField(QPlainTextEdit *memo, const QString &caption, int limit);
    KeptField(QComboBox *box, const QString &caption);

    const QString &caption() const { return m_caption; }
    int limit() const { return m_limit; }
    QWidget *widget() const;

    // Shows a stored value; none stored: empty, and what is typed is new.
    void show(const QString &stored);
    void clear();
    // The value to store: as read unless the administrator changed it.
    QString value() const;
    // What is in the field now.
    QString text() const;
    bool changed() const { return !m_kept || text() != m_shown; }
    // Typed (changed) and longer than the field takes.
    bool tooLong() const { return m_limit > 0 && changed() && text().size() > m_limit; }

private:
    void setText(const QString &text);
    // What may be typed: the limit, or more for a longer stored value.
    int room() const { return m_kept ? std::max(m_limit, int(m_stored.size())) : m_limit; }

    QLineEdit *m_edit = nullptr;
    QPlainTextEdit *m_memo = nullptr;
    QComboBox *m_box = nullptr;
    QString m_caption;
    int m_limit = 0;
    bool m_kept = false;
    QString m_stored;
    // The stored value as the field shows it.
    QString m_shown;
    // The memo's text before its last edit.
    QString m_previous;
};
