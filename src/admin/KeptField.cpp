#include "KeptField.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>

namespace {

// QLineEdit's own ceiling, which stands for "no limit".
constexpr int NoLimit = 32767;

} // namespace

KeptField::KeptField(QLineEdit *edit, const QString &caption, int limit)
    : QObject(edit)
    , m_edit(edit)
    , m_caption(caption)
    , m_limit(limit)
{
    m_edit->setMaxLength(m_limit > 0 ? m_limit : NoLimit);
}

KeptField::KeptField(QPlainTextEdit *memo, const QString &caption, int limit)
    : QObject(memo)
    , m_memo(memo)
    , m_caption(caption)
    , m_limit(limit)
{
    // A memo has no length limit of its own: an edit that would take it past
    // the room is not made (cutting the end instead would lose what stood
    // after a paste in the middle).
    connect(m_memo, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_memo->toPlainText();
        if (room() <= 0 || text.size() <= room()) {
            m_previous = text;
            return;
        }
        const int position = std::min(m_memo->textCursor().position(), int(m_previous.size()));
        const QSignalBlocker blocker(m_memo);
        m_memo->setPlainText(m_previous);
        QTextCursor cursor = m_memo->textCursor();
        cursor.setPosition(position);
        m_memo->setTextCursor(cursor);
    });
}

KeptField::KeptField(QComboBox *box, const QString &caption)
    : QObject(box)
    , m_box(box)
    , m_caption(caption)
{
}

QWidget *KeptField::widget() const
{
    if (m_edit)
        return m_edit;
    if (m_memo)
        return m_memo;
    return m_box;
}

void KeptField::show(const QString &stored)
{
    m_kept = true;
    m_stored = stored;
    setText(stored);
    m_shown = text();
}

void KeptField::clear()
{
    m_kept = false;
    m_stored.clear();
    m_shown.clear();
    setText(QString());
}

QString KeptField::value() const
{
    return changed() ? text() : m_stored;
}

QString KeptField::text() const
{
    if (m_edit)
        return m_edit->text();
    if (m_memo)
        return m_memo->toPlainText();
    return m_box->currentText();
}

void KeptField::setText(const QString &text)
{
    if (m_edit) {
        // Widened first, or the box would cut what it is given.
        m_edit->setMaxLength(room() > 0 ? room() : NoLimit);
        m_edit->setText(text);
    } else if (m_memo) {
        m_memo->setPlainText(text);
        m_previous = m_memo->toPlainText();
    } else {
        m_box->setEditText(text);
    }
}
