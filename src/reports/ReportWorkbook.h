#pragma once

#include "ReportSql.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <string>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// The report as an .xlsx workbook, written row by row in libxlsxwriter's
// constant-memory mode, so that memory stays flat however many rows come.
// Nothing exists on disk until finish(); discard() leaves nothing behind.
// The library keeps the rows in temporary files beside the report and does
// not look whether writing them worked: finish() does, and reads the
// finished package back, so that a full disk is never a written report.
//
// Layout of the first sheet (rows counted from 1): the heading lines in
// column A of rows 1 to 6 (row 5, the count, only when it is known), the
// column headings in row 8, the report's rows from row 10 on. Rows that do
// not fit a sheet go on in further sheets, each with the column headings in
// row 1 and rows from row 2, so that none is dropped.
//
// Date cells hold real date-times shown as "dd.mm.yyyy hh:mm:ss"; every other
// cell holds its text as text, with the number format "0".
class ReportWorkbook
{
public:
    // The rows of an .xlsx sheet.
    static constexpr quint32 SheetRows = 1048576;
    static constexpr quint32 FirstDataRow = 9; // row 10, counted from 0

    // sheetRows below the sheet's own limit is for tests of the continuation.
    explicit ReportWorkbook(quint32 sheetRows = SheetRows);
    ~ReportWorkbook();
    ReportWorkbook(const ReportWorkbook &) = delete;
    ReportWorkbook &operator=(const ReportWorkbook &) = delete;

    // Starts a workbook to be written to path, with the heading; count is the
    // number of rows when the report statement was accepted.
    bool begin(const QString &path, const ReportHeading &heading, std::optional<qint64> count);
    // A line of text in the row after the last one (what the file must say
    // of itself: that it is incomplete).
    void addNote(const QString &text);

    // One report row: the Date text, then the other columns' UTF-8 texts. A
    // null view (not an empty one) leaves its cell empty.
    void addRow(QByteArrayView date, const QByteArrayView *texts, int textCount);

    qint64 rows() const { return m_rows; }
    int sheets() const { return m_sheets; }

    // Writes the file and checks it: every sheet present and whole, down to
    // its last row; false with the reason when not, and nothing is left.
    bool finish(QString *error);
    // Drops everything written so far without creating the file.
    void discard();

private:
    lxw_worksheet *addSheet();
    // The next row to write, on a further sheet when this one is full.
    bool nextRow();
    bool tempFilesWritten(QString *error) const;
    bool packageWhole(QString *error) const;
    void putText(quint32 row, quint16 column, QByteArrayView text);
    void putText(quint32 row, quint16 column, const QString &text);
    void putDate(quint32 row, quint16 column, QByteArrayView text);

    quint32 m_sheetRows;
    lxw_workbook *m_workbook = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_text = nullptr;
    lxw_format *m_date = nullptr;
    QStringList m_columns;
    quint32 m_row = 0;
    qint64 m_rows = 0;
    int m_sheets = 0;
    // The last row written on each sheet (counted from 0).
    QList<quint32> m_lastRows;
    QString m_path;
    // Where the library keeps the rows meanwhile: the report's folder.
    QByteArray m_tmpdir;
    // Why a sheet could not be made, if one could not.
    QString m_error;
    std::string m_scratch;
};
