#pragma once

#include "ReportSql.h"

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <string>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

// The report as an .xlsx workbook, written row by row in libxlsxwriter's
// constant-memory mode, so that memory stays flat however many rows come.
// Nothing exists on disk until finish(); discard() leaves nothing behind.
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

    // One report row: the Date text, then the other columns' UTF-8 texts. A
    // null view (not an empty one) leaves its cell empty.
    void addRow(QByteArrayView date, const QByteArrayView *texts, int textCount);

    qint64 rows() const { return m_rows; }
    int sheets() const { return m_sheets; }

    // Writes the file; false with the reason when that failed.
    bool finish(QString *error);
    // Drops everything written so far without creating the file.
    void discard();

private:
    lxw_worksheet *addSheet();
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
    std::string m_scratch;
};
