#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

// One row of the messages table as the server returned it.
struct JournalRow
{
    QString IMEI;
    QString Date;
    QString Type;
    QString Event;
    QString User;

    bool operator==(const JournalRow &other) const = default;
};

size_t qHash(const JournalRow &row, size_t seed = 0);

// The rows of the journal grid, newest first, each row coloured by its
// message type. The server hands rows out oldest first; both a full load and
// a top-up take them in that order and turn them round. With no row to show
// the grid keeps one blank row, as at start; rows topped up onto it go above
// it.
class JournalModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ImeiColumn, DateColumn, TypeColumn, EventColumn, UserColumn, ColumnCount };

    explicit JournalModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Replaces every row.
    void load(QList<JournalRow> serverOrder);
    // Puts the rows of a top-up above the ones shown, leaving out those
    // already shown: a top-up asks again for the rows from topUpFrom() on.
    void prepend(QList<JournalRow> serverOrder);

    // Rows 0 up to shownCount() - 1 are rows of the table; a blank row may
    // follow them.
    const JournalRow &row(int index) const { return m_rows.at(index); }
    int shownCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // Where the next top-up starts: one second before the newest time
    // shown. Times have whole seconds, and a station dates its rows by its
    // last clock tick, up to a second before they are written; a row can
    // thus arrive after a row of a later second is shown. Empty while no row
    // is shown.
    QString topUpFrom() const;

    // The colour of a whole row, none for a type the journal does not know.
    static std::optional<QColor> rowColour(const QString &type, const QString &event);
    // A row announcing a camera frame.
    static bool mentionsFrame(const QString &event);

private:
    // Keeps the shown rows from topUpFrom() on, which a top-up brings again.
    void remember(const QList<JournalRow> &rows);

    QList<JournalRow> m_rows;
    bool m_blank = true;
    // The newest Date shown and how many times each row from topUpFrom() on
    // is shown (two equal rows are two rows).
    QString m_newest;
    QHash<JournalRow, int> m_recent;
};
