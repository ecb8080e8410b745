#include "AlarmEntry.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

AlarmEntry::AlarmEntry(const QString &imei, const QIcon &icon, QWidget *parent)
    : QWidget(parent)
    , m_imei(imei)
    , m_caption(new QToolButton(this))
    , m_body(new QWidget(this))
    , m_takenBy(new QLabel(m_body))
    , m_age(new QLabel(m_body))
{
    setObjectName(QStringLiteral("AlarmEntry_") + imei);
    m_caption->setObjectName(QStringLiteral("caption"));
    // The IMEI is the list's caption, text from the database: no mnemonic.
    m_caption->setText(QString(imei).replace(QLatin1Char('&'), QLatin1String("&&")));
    m_caption->setIcon(icon);
    m_caption->setIconSize(QSize(24, 24));
    m_caption->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_caption->setFixedHeight(28);
    m_caption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_caption->setCheckable(true);
    m_caption->setChecked(true);
    m_caption->setAutoRaise(true);
    m_caption->setStyleSheet(QStringLiteral(
        "QToolButton { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #c62828, stop:1 #8e1b1b);"
        " color: white; font-weight: bold; border: none; padding-left: 4px; text-align: left; }"));
    connect(m_caption, &QToolButton::toggled, m_body, &QWidget::setVisible);

    auto *body = new QVBoxLayout(m_body);
    body->setContentsMargins(8, 4, 4, 6);
    body->setSpacing(2);
    // First in the entry: whether someone already handles this alarm.
    m_takenBy->setObjectName(QStringLiteral("takenBy"));
    m_takenBy->setStyleSheet(QStringLiteral("font-weight: bold; color: #0d47a1;"));
    m_age->setObjectName(QStringLiteral("age"));
    m_age->setStyleSheet(QStringLiteral("color: #8e1b1b;"));
    for (QLabel *label : {m_takenBy, m_age}) {
        // The operator's login comes from the database: plain text.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->hide();
        body->addWidget(label);
    }
    for (QLabel *&label : m_lines) {
        label = new QLabel(m_body);
        // Addresses, names and comments come from the database: shown as
        // they are written, never as markup.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        body->addWidget(label);
    }
    m_lines[4]->setStyleSheet(QStringLiteral("font-weight: bold; color: #8e1b1b;"));
    m_body->setAutoFillBackground(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_caption);
    layout->addWidget(m_body);
}

QString AlarmEntry::line(int n) const
{
    return m_lines[n]->text();
}

void AlarmEntry::setLine(int n, const QString &text)
{
    m_lines[n]->setText(text);
}

QString AlarmEntry::takenBy() const
{
    return m_takenBy->text();
}

void AlarmEntry::setTakenBy(const QString &text)
{
    m_takenBy->setText(text);
    m_takenBy->setVisible(!text.isEmpty());
}

QString AlarmEntry::age() const
{
    return m_age->text();
}

void AlarmEntry::setAge(const QString &text)
{
    if (m_age->text() == text)
        return;
    m_age->setText(text);
    m_age->setVisible(!text.isEmpty());
}

bool AlarmEntry::isCollapsed() const
{
    return !m_caption->isChecked();
}

void AlarmEntry::setCollapsed(bool collapsed)
{
    m_caption->setChecked(!collapsed);
}

void AlarmEntry::contextMenuEvent(QContextMenuEvent *event)
{
    emit menuRequested(this, event->globalPos());
}
