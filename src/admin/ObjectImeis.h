#pragma once

#include <QStringListModel>

// The objects' IMEIs for the administration window's tabs that list them,
// read once per showing of the window however many of those tabs are
// visited: with 100,000 objects the list is not read twice for one look.
class ObjectImeis final : public QStringListModel
{
    Q_OBJECT

public:
    using QStringListModel::QStringListModel;

    // The window is shown anew: the next tab to need the list reads it.
    void expire() { m_fresh = false; }
    bool isFresh() const { return m_fresh; }
    void setImeis(const QStringList &imeis)
    {
        setStringList(imeis);
        m_fresh = true;
    }

private:
    bool m_fresh = false;
};
