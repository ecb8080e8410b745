#include "JournalModel.h"

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

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const JournalRow &r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cell(r, index.column());
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
    endResetModel();
}

void JournalModel::prepend(QList<JournalRow> serverOrder)
{
    if (serverOrder.isEmpty())
        return;
    std::reverse(serverOrder.begin(), serverOrder.end());
    beginInsertRows(QModelIndex(), 0, int(serverOrder.size()) - 1);
    serverOrder.append(std::move(m_rows));
    m_rows = std::move(serverOrder);
    endInsertRows();
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
