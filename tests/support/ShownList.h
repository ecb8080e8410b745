#pragma once

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QStringList>

// The object list as the operator sees it: the captions its view shows, row
// by row, and a selection made as a click on an entry makes it.
namespace ShownList {

inline QStringList captions(const QAbstractItemView *view)
{
    QStringList out;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data().toString();
    return out;
}

inline int rowOf(const QAbstractItemView *view, const QString &caption)
{
    return int(captions(view).indexOf(caption));
}

// False when no entry shows the caption. With clearFirst the selection is
// let go before, so that selecting the entry already selected is a new
// selection.
inline bool select(QAbstractItemView *view, const QString &caption, bool clearFirst = false)
{
    const int row = rowOf(view, caption);
    if (row < 0)
        return false;
    if (clearFirst)
        view->selectionModel()->clear();
    view->selectionModel()->setCurrentIndex(view->model()->index(row, 0), QItemSelectionModel::ClearAndSelect);
    return true;
}

} // namespace ShownList
