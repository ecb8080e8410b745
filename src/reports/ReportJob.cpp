#include "ReportJob.h"

#include "ReportWorkbook.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QThreadPool>

#include <sys/socket.h>

#include <optional>
#include <utility>

ReportJob::ReportJob(ReportOrder order, QObject *parent)
    : QObject(parent)
    , m_order(std::move(order))
{
}

void ReportJob::cancel()
{
    if (m_cancelled.exchange(true))
        return;
    // A statement under way (a count over years, a table another session
    // holds) is stopped now, not when it ends by itself: the report's side
    // of the connection is shut at once, whatever the server or the network
    // does, and the server is told to end the session, so that it stops
    // working for nobody.
    unsigned long session = 0;
    {
        const std::lock_guard<std::mutex> lock(m_link->mutex);
        if (m_link->socket >= 0)
            ::shutdown(m_link->socket, SHUT_RDWR);
        session = m_link->session;
    }
    if (session)
        endSession(session);
}

void ReportJob::holdLink(const Database &db)
{
    const std::lock_guard<std::mutex> lock(m_link->mutex);
    m_link->socket = db.socketDescriptor();
    m_link->session = db.connectionId();
}

void ReportJob::dropLink()
{
    // Before the connection closes: its socket's number and its session's id
    // may soon be another's.
    const std::lock_guard<std::mutex> lock(m_link->mutex);
    m_link->socket = -1;
    m_link->session = 0;
}

void ReportJob::endSession(unsigned long session) const
{
    // Off the caller's thread: a connect may take its while, and the window
    // must not wait for it.
    const DbAccount account = m_order.account;
    QThreadPool::globalInstance()->start([account, session, link = m_link] {
        Database killer;
        if (!killer.open(account))
            return;
        // Only while the report still holds that session: once it has let
        // it go the id may be another's (after a restart of the server).
        // Not under the lock: the report must never wait for this server.
        bool held = false;
        {
            const std::lock_guard<std::mutex> lock(link->mutex);
            held = link->session == session;
        }
        if (held)
            killer.exec(QStringLiteral("KILL CONNECTION %1").arg(session));
    });
}

void ReportJob::finish(Outcome outcome, qint64 rows, qint64 total, const QString &error)
{
    if (outcome != Outcome::Cancelled && isCancelled()) {
        // Whatever the report came to after "Отмена", it is not kept.
        QFile::remove(m_order.path);
        outcome = Outcome::Cancelled;
    }
    emit finished(outcome, rows, total, outcome == Outcome::Cancelled ? QString() : error);
}

void ReportJob::run()
{
    ReportWorkbook book(m_order.sheetRows ? m_order.sheetRows : ReportWorkbook::SheetRows);
    Database db;
    db.setReadTimeout(0);
    db.setReopen(false);
    // However run() ends, the link is let go before the connection closes.
    struct LinkHolder {
        ReportJob *job;
        ~LinkHolder() { job->dropLink(); }
    } holder{this};
    qint64 total = -1;

    // A refused statement still gives the heading, without the count line,
    // and says inside that the report holds nothing.
    const auto rejected = [&](const QString &why) {
        if (isCancelled()) {
            finish(Outcome::Cancelled, 0, total, {});
            return;
        }
        book.discard();
        QString writeError;
        const bool begun = book.begin(m_order.path, m_order.heading, std::nullopt);
        if (begun)
            book.addNote(QStringLiteral("Отчет не содержит записей: сервер не выполнил запрос отчета: ") + why);
        if (!begun || !book.finish(&writeError)) {
            finish(Outcome::Failed, 0, total, writeError);
            return;
        }
        finish(Outcome::Rejected, 0, total, why);
    };

    if (isCancelled()) {
        finish(Outcome::Cancelled, 0, total, {});
        return;
    }
    if (!db.open(m_order.account)) {
        rejected(db.errorText());
        return;
    }
    const unsigned long session = db.connectionId();
    holdLink(db);
    // Cancelled before the session was known: ended here.
    if (isCancelled()) {
        finish(Outcome::Cancelled, 0, total, {});
        return;
    }
    // The count line stands above the rows, so it is known before them: the
    // count and the rows are read in one snapshot, or the journal's other
    // writers could make them disagree. All of it on the one session.
    if (!db.beginSnapshot() || db.connectionId() != session) {
        rejected(db.errorText());
        return;
    }
    const QString query = ReportSql::report(db.escaper(), m_order.selection);
    QString counted;
    if (db.value(ReportSql::count(query), &counted) != Database::Lookup::Found) {
        rejected(db.errorText());
        return;
    }
    total = counted.toLongLong();
    emit progress(0, total);

    if (!book.begin(m_order.path, m_order.heading, total)) {
        finish(Outcome::Failed, 0, total, QStringLiteral("не удалось начать книгу"));
        return;
    }

    // Looked up for every row: by hash, not by a scan of the list. The first
    // listed object of an IMEI names it, as a scan would.
    QHash<QByteArray, QByteArray> names;
    if (m_order.allObjects) {
        names.reserve(m_order.imeis.size());
        for (qsizetype i = 0; i < m_order.imeis.size() && i < m_order.names.size(); ++i) {
            const QByteArray imei = m_order.imeis.at(i).toUtf8();
            if (!names.contains(imei))
                names.insert(imei, m_order.names.at(i).toUtf8());
        }
    }

    QElapsedTimer sinceProgress;
    sinceProgress.start();
    const bool allObjects = m_order.allObjects;
    QByteArrayView texts[4];
    const Database::Rows rows = db.forEach(
        query,
        [&](const DbRow &row) {
            if (isCancelled())
                return false;
            if (allObjects) {
                // The object's name in place of its IMEI; an object outside
                // the listed ones leaves the cell empty.
                const QByteArrayView imei = row.view(1);
                const auto found = names.constFind(QByteArray::fromRawData(imei.data(), imei.size()));
                texts[0] = found == names.cend() ? QByteArrayView() : QByteArrayView(*found);
                texts[1] = row.view(2);
                texts[2] = row.view(3);
                texts[3] = row.view(4);
            } else {
                texts[0] = row.view(1);
                texts[1] = row.view(2);
                texts[2] = row.view(3);
            }
            book.addRow(row.view(0), texts, allObjects ? 4 : 3);
            if ((book.rows() & 1023) == 0 && sinceProgress.elapsed() >= 100) {
                emit progress(book.rows(), total);
                sinceProgress.restart();
            }
            return true;
        },
        Database::Fetch::Streamed);
    if (isCancelled()) {
        book.discard();
        finish(Outcome::Cancelled, book.rows(), total, {});
        return;
    }
    if (rows == Database::Rows::Failed) {
        rejected(db.errorText());
        return;
    }
    QString error;
    if (rows == Database::Rows::Cut) {
        error = db.errorText();
        // The file says of itself that it is not the whole report.
        book.addNote(QStringLiteral("Отчет неполный: чтение записей прервано, в отчете %1 из %2")
                         .arg(book.rows())
                         .arg(total));
    } else if (book.rows() != total) {
        book.addNote(QStringLiteral("Записей прочитано %1, а подсчитано %2").arg(book.rows()).arg(total));
    }
    db.rollback();
    dropLink();
    db.close();

    emit progress(book.rows(), total);
    emit saving();
    QString writeError;
    if (!book.finish(&writeError)) {
        finish(Outcome::Failed, book.rows(), total, writeError);
        return;
    }
    finish(rows == Database::Rows::Cut ? Outcome::Cut : Outcome::Written, book.rows(), total, error);
}
