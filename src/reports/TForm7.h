#pragma once

#include "ReportFile.h"
#include "ReportJob.h"
#include "ReportSql.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class Database;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QProgressDialog;
class QPushButton;
class QThread;
class QTimer;
struct StationState;

// "Формирование отчета": an administrator chooses group, object, period,
// operator and message types and gets the journal as a workbook. The window
// exists from start-up and is shown on demand; its lists are read again at
// every showing, the dates and check boxes keep what was set last.
//
// The report itself is written by a ReportJob on a connection of its own in
// a worker thread, so the station keeps monitoring while it runs.
class TForm7 : public QWidget
{
    Q_OBJECT

public:
    static inline const QString FileName = ReportFile::FileName;

    TForm7(StationState &state, Database &database, QWidget *parent = nullptr);
    ~TForm7() override;

    void FormShow();
    void ComboBox3Change();
    void ComboBox1Change();
    void SpeedButton1Click() { Make_Report(); }
    // Starts a report of the present selection; false when one is running.
    bool Make_Report();

    ReportSelection selection() const;
    bool isRunning() const { return m_job != nullptr; }
    // The operator who asked for the report has gone (another logged in):
    // a report under way is stopped and kept for nobody, its file removed,
    // nothing of it told or opened.
    void abandon();
    // The file the last finished report was kept as (empty when none was).
    QString lastReport() const { return m_lastReport; }

    // Where the report goes: the documents folder unless set (tests).
    void setReportFolder(const QString &folder) { m_folder = folder; }
    QString reportFolder() const;
    // Rows per sheet, for tests of the continuation sheets.
    void setSheetRows(quint32 rows) { m_sheetRows = rows; }
    // How a finished report is opened: the desktop's program unless set;
    // false when nothing could open it.
    void setOpener(std::function<bool(const QUrl &)> opener) { m_opener = std::move(opener); }

    QComboBox *ComboBox3 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QComboBox *ComboBox4 = nullptr;
    QDateEdit *DTP1 = nullptr;
    QDateEdit *DTP2 = nullptr;
    QCheckBox *RzCheckBox1 = nullptr;
    QCheckBox *RzCheckBox2 = nullptr;
    QCheckBox *RzCheckBox3 = nullptr;
    QCheckBox *RzCheckBox4 = nullptr;
    QCheckBox *RzCheckBox5 = nullptr;
    QComboBox *ComboBox2 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QProgressDialog *progressDialog() const { return m_progress; }

signals:
    // A report has begun; the job runs in its own thread.
    void reportStarted(ReportJob *job);
    // A report has ended, however it ended.
    void reportFinished(ReportJob::Outcome outcome);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void resetList(QComboBox *box);
    void setControlsEnabled(bool enabled);
    void showProgress(qint64 rows, qint64 total);
    void jobFinished(ReportJob::Outcome outcome, qint64 rows, qint64 total, const QString &error);
    // Keeps a finished report: in the place of the one there only when it is
    // whole and the operator agrees. Returns where it is kept; tell is what
    // is said of it first.
    QString keepReport(ReportFile &file, bool whole, const QString &tell);
    void message(const QString &text);

    StationState &m_state;
    Database &m_database;
    QString m_folder;
    quint32 m_sheetRows = 0;
    std::function<bool(const QUrl &)> m_opener;

    std::unique_ptr<ReportJob> m_job;
    bool m_abandoned = false;
    std::unique_ptr<QThread> m_thread;
    QProgressDialog *m_progress = nullptr;
    QTimer *m_clock = nullptr;
    QElapsedTimer m_elapsed;
    qint64 m_shownRows = 0;
    qint64 m_shownTotal = -1;
    bool m_saving = false;
    // "Отмена" was pressed and the report has not stopped yet.
    bool m_stopping = false;
    std::optional<ReportFile> m_file;
    QString m_lastReport;
    QStringList m_names;
    QStringList m_imeis;
};
