#pragma once

#include <QAbstractProxyModel>
#include <QList>
#include <QPersistentModelIndex>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <utility>
#include <vector>

class ObjectListModel;

// The object list as its view shows it: the entries a search text finds, in
// the list's own order. An entry is found by its IMEI and by the texts given
// for it (model, address, clarification, owner), whatever the case, with "ё"
// read as "е". Without a search text every entry shows at its own row and
// nothing is mapped, so the list's re-sorts cost nothing more here.
class ObjectFilterModel final : public QAbstractProxyModel
{
    Q_OBJECT

public:
    explicit ObjectFilterModel(ObjectListModel *source, QObject *parent = nullptr);

    // The texts of the entries besides their IMEIs, by the entries' serials,
    // each made by joinTexts; they hold until the list is refilled.
    void setTexts(std::vector<QString> texts);
    // An entry's texts (model, address...) as setTexts takes them. Line
    // breaks and runs of blanks in them are searched as one blank, as the
    // search text is taken.
    static QString joinTexts(const QStringList &fields);
    // The same from the fields' UTF-8 bytes, through a buffer kept by the
    // caller: one text made per entry.
    static QString joinUtf8(std::initializer_list<QByteArrayView> fields, QByteArray *buffer);
    bool hasTexts() const { return m_hasTexts; }

    void setFilterText(const QString &text);
    QString filterText() const { return m_text; }
    bool isFiltering() const { return !m_needle.isEmpty(); }

    // A text as it is searched and searched for: folded, "ё" as "е", runs
    // of blanks as one.
    static QString searchKey(QStringView text);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;

private:
    void sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles);
    void beginLayout(QAbstractItemModel::LayoutChangeHint hint);
    void endLayout(QAbstractItemModel::LayoutChangeHint hint);
    void buildIndex();
    void findMatches();
    void mapRows();

    ObjectListModel *m_source;
    QString m_text;
    QString m_needle;

    std::vector<QString> m_texts;
    bool m_hasTexts = false;
    // Every entry's IMEI and texts, folded, one after the other by serial,
    // each field followed by a separator that no needle holds: one long text
    // is searched much faster than 100,000 short ones.
    QString m_haystack;
    std::vector<qsizetype> m_begin;
    bool m_indexed = false;
    // Which serials the needle m_matched finds.
    std::vector<char> m_found;
    QString m_matched;

    // While filtering: the list's row of each shown row, and the shown row
    // of each of the list's rows (-1 when it is hidden).
    std::vector<int> m_rows;
    std::vector<int> m_shownRow;

    // The view's indexes across a change of the layout, with the entries
    // they stand for.
    QList<std::pair<QModelIndex, QPersistentModelIndex>> m_saved;
    bool m_moveAsLayout = false;
    bool m_changeAsReset = false;
};
