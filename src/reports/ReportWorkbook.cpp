#include "ReportWorkbook.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int digits(const char *p, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

// "yyyy-MM-dd HH:mm:ss" as a date-time the sheet can hold (1900 on); anything
// else is not taken for a date.
bool parseDate(QByteArrayView text, lxw_datetime *out)
{
    if (text.size() != 19)
        return false;
    const char *p = text.data();
    if (p[4] != '-' || p[7] != '-' || p[10] != ' ' || p[13] != ':' || p[16] != ':')
        return false;
    const int year = digits(p, 4);
    const int month = digits(p + 5, 2);
    const int day = digits(p + 8, 2);
    const int hour = digits(p + 11, 2);
    const int minute = digits(p + 14, 2);
    const int second = digits(p + 17, 2);
    if (year < 1900 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59
        || !QDate::isValid(year, month, day))
        return false;
    *out = lxw_datetime{year, month, day, hour, minute, double(second)};
    return true;
}

} // namespace

ReportWorkbook::ReportWorkbook(quint32 sheetRows)
    // The first sheet needs room for the heading and at least one row.
    : m_sheetRows(std::clamp<quint32>(sheetRows, FirstDataRow + 1, SheetRows))
{
}

ReportWorkbook::~ReportWorkbook()
{
    discard();
}

bool ReportWorkbook::begin(const QString &path, const ReportHeading &heading, std::optional<qint64> count)
{
    discard();
    m_path = path;
    m_error.clear();
    m_lastRows.clear();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    // A million rows of text make a sheet larger than plain zip allows.
    options.use_zip64 = LXW_TRUE;
    // The rows wait in temporary files beside the report, not in a system
    // folder that may be smaller, shared or cleared.
    m_tmpdir = QFile::encodeName(QFileInfo(path).absolutePath());
    options.tmpdir = m_tmpdir.data();
    const QByteArray name = QFile::encodeName(path);
    m_workbook = workbook_new_opt(name.constData(), &options);
    if (!m_workbook)
        return false;
    m_text = workbook_add_format(m_workbook);
    format_set_num_format(m_text, "0");
    m_date = workbook_add_format(m_workbook);
    format_set_num_format(m_date, "dd.mm.yyyy hh:mm:ss");
    m_columns = heading.columns;
    m_rows = 0;
    m_sheets = 0;
    if (!addSheet())
        return false;

    putText(0, 0, heading.title);
    putText(1, 0, heading.period);
    putText(2, 0, heading.group);
    putText(3, 0, heading.user);
    if (count)
        putText(4, 0, ReportSql::countLine(*count));
    putText(5, 0, heading.content);
    for (int c = 0; c < m_columns.size(); ++c)
        putText(7, quint16(c), m_columns.at(c));
    m_lastRows.last() = 7;
    m_row = FirstDataRow;
    return true;
}

lxw_worksheet *ReportWorkbook::addSheet()
{
    ++m_sheets;
    const QByteArray name = QStringLiteral("Лист%1").arg(m_sheets).toUtf8();
    m_sheet = workbook_add_worksheet(m_workbook, name.constData());
    if (!m_sheet) {
        // The rows to come have nowhere to go: the report is not written.
        m_error = QStringLiteral("не удалось добавить лист %1").arg(m_sheets);
        return nullptr;
    }
    m_lastRows.append(0);
    worksheet_set_column(m_sheet, 0, 0, 20, nullptr);
    worksheet_set_column(m_sheet, 1, lxw_col_t(std::max<qsizetype>(1, m_columns.size() - 1)), 24, nullptr);
    return m_sheet;
}

void ReportWorkbook::putText(quint32 row, quint16 column, QByteArrayView text)
{
    // The library wants a terminated string and copies it.
    m_scratch.assign(text.data(), size_t(text.size()));
    worksheet_write_string(m_sheet, row, column, m_scratch.c_str(), m_text);
}

void ReportWorkbook::putText(quint32 row, quint16 column, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    putText(row, column, QByteArrayView(utf8));
}

void ReportWorkbook::putDate(quint32 row, quint16 column, QByteArrayView text)
{
    lxw_datetime when;
    if (parseDate(text, &when))
        worksheet_write_datetime(m_sheet, row, column, &when, m_date);
    else if (!text.isNull())
        // A value that is no date the sheet can hold is kept as it was read.
        putText(row, column, text);
}

bool ReportWorkbook::nextRow()
{
    if (!m_workbook || !m_sheet)
        return false;
    if (m_row >= m_sheetRows) {
        if (!addSheet())
            return false;
        for (int c = 0; c < m_columns.size(); ++c)
            putText(0, quint16(c), m_columns.at(c));
        m_row = 1;
    }
    m_lastRows.last() = m_row;
    return true;
}

void ReportWorkbook::addRow(QByteArrayView date, const QByteArrayView *texts, int textCount)
{
    if (!nextRow())
        return;
    putDate(m_row, 0, date);
    for (int i = 0; i < textCount; ++i) {
        if (!texts[i].isNull())
            putText(m_row, quint16(i + 1), texts[i]);
    }
    ++m_row;
    ++m_rows;
}

void ReportWorkbook::addNote(const QString &text)
{
    if (!nextRow())
        return;
    putText(m_row, 0, text);
    ++m_row;
}

bool ReportWorkbook::tempFilesWritten(QString *error) const
{
    lxw_worksheet *sheet = nullptr;
    STAILQ_FOREACH(sheet, m_workbook->worksheets, list_pointers)
    {
        FILE *rows = sheet->optimize_tmpfile;
        if (rows && (std::fflush(rows) != 0 || std::ferror(rows))) {
            *error = QStringLiteral("не удалось записать временный файл отчета: ") + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    return true;
}

bool ReportWorkbook::packageWhole(QString *error) const
{
    const QByteArray name = QFile::encodeName(m_path);
    unzFile package = unzOpen64(name.constData());
    if (!package) {
        *error = QStringLiteral("файл отчета не читается как книга");
        return false;
    }
    bool whole = true;
    for (int sheet = 1; whole && sheet <= m_sheets; ++sheet) {
        const QByteArray part = "xl/worksheets/sheet" + QByteArray::number(sheet) + ".xml";
        if (unzLocateFile(package, part.constData(), 1) != UNZ_OK || unzOpenCurrentFile(package) != UNZ_OK) {
            *error = QStringLiteral("в книге нет листа %1").arg(sheet);
            whole = false;
            break;
        }
        // Read to its end (which checks its checksum), keeping the tail: a
        // sheet cut short by a full disk ends before its closing tag.
        QByteArray tail;
        char buffer[1 << 16];
        int read = 0;
        while ((read = unzReadCurrentFile(package, buffer, sizeof buffer)) > 0) {
            tail.append(buffer, read);
            if (tail.size() > 16384)
                tail.remove(0, tail.size() - 8192);
        }
        const bool intact = read == 0 && unzCloseCurrentFile(package) == UNZ_OK;
        const QByteArray lastRow = "<row r=\"" + QByteArray::number(m_lastRows.value(sheet - 1) + 1) + '"';
        if (!intact || !tail.trimmed().endsWith("</worksheet>") || !tail.contains(lastRow)) {
            *error = QStringLiteral("лист %1 записан не полностью").arg(sheet);
            whole = false;
        }
    }
    unzClose(package);
    return whole;
}

bool ReportWorkbook::finish(QString *error)
{
    QString why;
    if (!m_workbook) {
        why = QStringLiteral("нет книги для записи");
    } else if (!m_error.isEmpty()) {
        why = m_error;
    } else if (tempFilesWritten(&why)) {
        const lxw_error result = workbook_close(m_workbook);
        m_workbook = nullptr;
        m_sheet = nullptr;
        if (result != LXW_NO_ERROR)
            why = QString::fromUtf8(lxw_strerror(result));
        else if (packageWhole(&why))
            return true;
    }
    discard();
    QFile::remove(m_path);
    if (error)
        *error = why;
    return false;
}

void ReportWorkbook::discard()
{
    if (m_workbook)
        lxw_workbook_free(m_workbook);
    m_workbook = nullptr;
    m_sheet = nullptr;
}
