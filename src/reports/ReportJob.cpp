#include "ReportJob.h"

#include "ReportWorkbook.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>

#include <optional>
#include <utility>

ReportJob::ReportJob(ReportOrder order, QObject *parent)
    : QObject(parent)
    , m_order(std::move(order))
{
}

void ReportJob::run()
{
    ReportWorkbook book(m_order.sheetRows ? m_order.sheetRows : ReportWorkbook::SheetRows);
    Database db;
    qint64 total = -1;
    QString error;

    // A refused statement still gives the heading, without the count line.
    const auto rejected = [&](const QString &why) {
        book.discard();
        if (!book.begin(m_order.path, m_order.heading, std::nullopt)) {
            emit finished(Outcome::Failed, 0, total, why);
            return;
        }
        QString writeError;
        if (!book.finish(&writeError)) {
            emit finished(Outcome::Failed, 0, total, writeError);
            return;
        }
        emit finished(Outcome::Rejected, 0, total, why);
    };

    if (!db.open(m_order.account)) {
        rejected(db.errorText());
        return;
    }
    // The count line stands above the rows, so it is known before them: the
    // count and the rows are read in one snapshot, or the journal's other
    // writers could make them disagree.
    db.exec(QStringLiteral("START TRANSACTION WITH CONSISTENT SNAPSHOT"));
    QString counted;
    if (db.value(ReportSql::count(m_order.query), &counted) != Database::Lookup::Found) {
        rejected(db.errorText());
        return;
    }
    total = counted.toLongLong();
    emit progress(0, total);

    if (!book.begin(m_order.path, m_order.heading, total)) {
        emit finished(Outcome::Failed, 0, total, QStringLiteral("не удалось начать книгу"));
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
        m_order.query,
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
    if (rows == Database::Rows::Failed && !isCancelled()) {
        rejected(db.errorText());
        return;
    }
    if (rows == Database::Rows::Cut)
        error = db.errorText();
    db.exec(QStringLiteral("COMMIT"));
    db.close();

    if (isCancelled()) {
        book.discard();
        emit finished(Outcome::Cancelled, book.rows(), total, {});
        return;
    }
    emit progress(book.rows(), total);
    emit saving();
    QString writeError;
    if (!book.finish(&writeError)) {
        emit finished(Outcome::Failed, book.rows(), total, writeError);
        return;
    }
    if (isCancelled()) {
        // Stopped while the file was put together: it goes as well.
        QFile::remove(m_order.path);
        emit finished(Outcome::Cancelled, book.rows(), total, {});
        return;
    }
    emit finished(rows == Database::Rows::Cut ? Outcome::Cut : Outcome::Written, book.rows(), total, error);
}
