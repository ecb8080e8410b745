#pragma once

#include <QAbstractTableModel>
#include <QColor>
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
};

// The rows of the journal grid, newest first, each row coloured by its
// message type. The server hands rows out oldest first; both a full load and
// a top-up take them in that order and turn them round.
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
    // Puts newer rows above the ones shown.
    void prepend(QList<JournalRow> serverOrder);

    const JournalRow &row(int index) const { return m_rows.at(index); }
    bool isEmpty() const { return m_rows.isEmpty(); }

    // The colour of a whole row, none for a type the journal does not know.
    static std::optional<QColor> rowColour(const QString &type, const QString &event);
    // A row announcing a camera frame.
    static bool mentionsFrame(const QString &event);

private:
    QList<JournalRow> m_rows;
};
