#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

class QContextMenuEvent;
class QLabel;
class QToolButton;

// One alarm entry of the panel: the IMEI as caption with the alarm icon, and
// five lines (address, refinement, contact, phone, the alarm or the last
// comment), headed by who handles the alarm and how long it waited when
// that is known. The caption folds the lines away and back.
class AlarmEntry : public QWidget
{
    Q_OBJECT

public:
    AlarmEntry(const QString &imei, const QIcon &icon, QWidget *parent = nullptr);

    QString imei() const { return m_imei; }
    QString line(int n) const;
    void setLine(int n, const QString &text);
    // Who handles the alarm, and how long it waited; an empty text hides
    // its line.
    QString takenBy() const;
    void setTakenBy(const QString &text);
    QString age() const;
    void setAge(const QString &text);
    bool isCollapsed() const;
    void setCollapsed(bool collapsed);

signals:
    void menuRequested(AlarmEntry *entry, const QPoint &globalPos);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QString m_imei;
    QToolButton *m_caption;
    QWidget *m_body;
    QLabel *m_lines[5];
    QLabel *m_takenBy;
    QLabel *m_age;
};
