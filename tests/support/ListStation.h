#pragma once

#include "LoggedInStation.h"
#include "ObjectList.h"
#include "ObjectListModel.h"

#include <QAbstractItemModelTester>
#include <QListView>

#include <memory>

// A logged-in station seen through its object list: the list, its view and
// its model, which a model tester watches for as long as the station lives.
// The object-list tests add what they look at besides.
struct ListStation
{
    LoggedInStation s;
    ObjectList *list = nullptr;
    QListView *OTable = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;

    ObjectListModel *model() const { return list->model(); }
    StationState &state() const { return s.state(); }
    RecordingDialogs &dialogs() { return s.dialogs(); }
    TcpPeer &peer() { return s.peer; }

    // Logs the operator in (created here): the login fills the list.
    bool logInAs(const LoggedInStation::Operator &op)
    {
        if (!s.logIn(op))
            return false;
        list = &s.main().objects();
        OTable = list->OTable;
        tester = std::make_unique<QAbstractItemModelTester>(list->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
        return true;
    }

    // The captions of the list's entries, in the list's order.
    QStringList captions() const
    {
        QStringList out;
        for (int row = 0; row < model()->rowCount(); ++row)
            out << model()->entry(row).caption;
        return out;
    }
};
