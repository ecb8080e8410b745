#include "JournalModel.h"

#include <QDateTime>
#include <QTextDocument>

#include <algorithm>

namespace {

const QString FrameWord = QStringLiteral("Кадр");

QString cell(const JournalRow &row, int column)
{
    switch (column) {
    case JournalModel::ImeiColumn:
        return row.IMEI;
    case JournalModel::DateColumn:
        return row.Date;
    case JournalModel::TypeColumn:
        return row.Type;
    case JournalModel::EventColumn:
        return row.Event;
    case JournalModel::UserColumn:
        return row.User;
    default:
        return {};
    }
}

} // namespace

JournalModel::JournalModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

size_t qHash(const JournalRow &row, size_t seed)
{
    return qHashMulti(seed, row.IMEI, row.Date, row.Type, row.Event, row.User);
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size()) + (m_blank ? 1 : 0);
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (index.row() >= m_rows.size())
        return {};
    const JournalRow &r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cell(r, index.column());
    case Qt::ToolTipRole: {
        // A tooltip takes text that looks like markup for markup; the
        // database's text is shown as written.
        const QString text = cell(r, index.column());
        if (!Qt::mightBeRichText(text))
            return text;
        return QString(QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>"));
    }
    case Qt::BackgroundRole:
        if (const auto colour = rowColour(r.Type, r.Event))
            return *colour;
        return {};
    case Qt::ForegroundRole:
        // The fills are light whatever the desktop's palette is.
        if (rowColour(r.Type, r.Event))
            return QColor(Qt::black);
        return {};
    default:
        return {};
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList titles{QStringLiteral("IMEI"), QStringLiteral("Время"), QStringLiteral("Тип"),
                                    QStringLiteral("Сообщение"), QStringLiteral("Пользователь")};
    return section >= 0 && section < titles.size() ? QVariant(titles.at(section)) : QVariant();
}

Qt::ItemFlags JournalModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void JournalModel::load(QList<JournalRow> serverOrder)
{
    std::reverse(serverOrder.begin(), serverOrder.end());
    beginResetModel();
    m_rows = std::move(serverOrder);
    m_blank = m_rows.isEmpty();
    m_newest.clear();
    m_recent.clear();
    remember(m_rows);
    endResetModel();
}

void JournalModel::prepend(QList<JournalRow> serverOrder)
{
    QList<JournalRow> fresh;
    QHash<JournalRow, int> unmatched = m_recent;
    for (JournalRow &row : serverOrder) {
        const auto shown = unmatched.find(row);
        if (shown != unmatched.end() && *shown > 0) {
            --*shown;
            continue;
        }
        fresh.append(std::move(row));
    }
    if (fresh.isEmpty())
        return;
    std::reverse(fresh.begin(), fresh.end());
    remember(fresh);
    beginInsertRows(QModelIndex(), 0, int(fresh.size()) - 1);
    fresh.append(std::move(m_rows));
    m_rows = std::move(fresh);
    endInsertRows();
}

QString JournalModel::topUpFrom() const
{
    if (m_newest.isEmpty())
        return {};
    const QDateTime newest = QDateTime::fromString(m_newest, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // A time the server wrote that is no date-time of ours is its own bound.
    if (!newest.isValid())
        return m_newest;
    return newest.addSecs(-1).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void JournalModel::remember(const QList<JournalRow> &rows)
{
    const QString oldFrom = topUpFrom();
    for (const JournalRow &row : rows) {
        if (row.Date > m_newest)
            m_newest = row.Date;
    }
    const QString from = topUpFrom();
    if (from != oldFrom) {
        for (auto it = m_recent.begin(); it != m_recent.end();) {
            if (it.key().Date < from)
                it = m_recent.erase(it);
            else
                ++it;
        }
    }
    for (const JournalRow &row : rows) {
        if (row.Date >= from)
            ++m_recent[row];
    }
}

std::optional<QColor> JournalModel::rowColour(const QString &type, const QString &event)
{
    if (type == QStringLiteral("Тревога"))
        return QColor(255, 132, 132);
    if (type == QStringLiteral("Охрана"))
        return QColor(132, 255, 132);
    if (type == QStringLiteral("Событие"))
        return mentionsFrame(event) ? QColor(255, 255, 138) : QColor(132, 218, 255);
    if (type == QStringLiteral("Команда"))
        return QColor(255, 179, 102);
    return std::nullopt;
}

bool JournalModel::mentionsFrame(const QString &event)
{
    return event.contains(FrameWord);
}
