#pragma once

#include "Database.h"
#include "ReportSql.h"

#include <QByteArray>
#include <QStringList>
#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>

// Everything one report needs, handed to the thread that writes it.
struct ReportOrder
{
    // The account of a connection of its own: the logged-in operator's.
    DbAccount account;
    // The statement is built on that connection, escaped as it reads it.
    ReportSelection selection;
    ReportHeading heading;
    bool allObjects = true;
    // The listed objects, position for position, for the name column.
    QStringList names;
    QStringList imeis;
    QString path;
    quint32 sheetRows = 0;
};

// Writes one report on a connection of its own, off the GUI thread: run() is
// called in the worker thread, cancel() from any thread. It tells how far it
// got by progress() and ends with exactly one finished().
//
// The count and the rows are read in one snapshot of the database, so that
// they agree; the connection has no read timeout (a report of years may take
// long) and is not opened again midway. Cancel always wins: it ends the
// report's session on the server at once, and whatever the report had come
// to, the outcome is Cancelled and no file is left.
class ReportJob : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Written,   // every row of the report is in the file
        Rejected,  // the statement was refused: the file holds the heading only
        Cut,       // the rows ended with an error: the file holds those read, and says so
        Cancelled, // stopped by the operator: no file
        Failed,    // the file could not be written whole: no file
    };
    Q_ENUM(Outcome)

    explicit ReportJob(ReportOrder order, QObject *parent = nullptr);

    void run();
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

signals:
    // total is -1 until it is known.
    void progress(qint64 rows, qint64 total);
    // The rows are all read; the file is being put together.
    void saving();
    void finished(ReportJob::Outcome outcome, qint64 rows, qint64 total, const QString &error);

private:
    // Ends the report's session, from a connection of its own.
    void endSession(unsigned long session) const;
    // The report's connection, for cancel() from another thread.
    void holdLink(const Database &db);
    void dropLink();
    // One outcome, unless the report was cancelled meanwhile: then no file.
    void finish(Outcome outcome, qint64 rows, qint64 total, const QString &error);

    ReportOrder m_order;
    std::atomic<bool> m_cancelled{false};
    // The report's connection while it is open: its socket and its session
    // on the server. Shared with the connection that ends the session, which
    // may outlive the job.
    struct Link
    {
        std::mutex mutex;
        int socket = -1;
        unsigned long session = 0;
    };
    std::shared_ptr<Link> m_link = std::make_shared<Link>();
};
