#include "TForm7.h"

#include "Database.h"
#include "Dialogs.h"
#include "StationState.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <utility>

namespace {

const QString All = QStringLiteral("Все");

QGroupBox *box(const QString &caption, QWidget *parent)
{
    auto *group = new QGroupBox(caption, parent);
    return group;
}

QComboBox *list(const char *name, QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(false);
    combo->setMinimumContentsLength(24);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

QDateEdit *picker(const char *name, const QDateTime &value, QWidget *parent)
{
    auto *edit = new QDateEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    edit->setDateTime(value);
    return edit;
}

QCheckBox *check(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

QString minutesSeconds(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TForm7::TForm7(StationState &state, Database &database, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_database(database)
{
    qRegisterMetaType<ReportJob::Outcome>();
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Формирование отчета"));

    auto *groupBox = box(QStringLiteral("Группа"), this);
    ComboBox3 = list("ComboBox3", groupBox);
    (new QVBoxLayout(groupBox))->addWidget(ComboBox3);

    auto *objectBox = box(QStringLiteral("Банкомат/Терминал"), this);
    ComboBox1 = list("ComboBox1", objectBox);
    ComboBox4 = list("ComboBox4", objectBox);
    ComboBox4->hide();
    auto *objectLayout = new QVBoxLayout(objectBox);
    objectLayout->addWidget(ComboBox1);
    objectLayout->addWidget(ComboBox4);

    // The pickers are set once, at creation: the last 30 days up to today.
    const QDate today = QDate::currentDate();
    auto *periodBox = box(QStringLiteral("Отчет за период"), this);
    DTP1 = picker("DTP1", QDateTime(today.addDays(-30), QTime(0, 0, 0)), periodBox);
    DTP2 = picker("DTP2", QDateTime(today, QTime(23, 59, 59)), periodBox);
    RzCheckBox1 = check("RzCheckBox1", QStringLiteral("Весь период"), periodBox);
    auto *periodLayout = new QGridLayout(periodBox);
    periodLayout->addWidget(new QLabel(QStringLiteral("С"), periodBox), 0, 0);
    periodLayout->addWidget(DTP1, 0, 1);
    periodLayout->addWidget(new QLabel(QStringLiteral("по"), periodBox), 0, 2);
    periodLayout->addWidget(DTP2, 0, 3);
    periodLayout->addWidget(RzCheckBox1, 1, 0, 1, 4);

    auto *contentBox = box(QStringLiteral("Содержание отчета"), this);
    RzCheckBox2 = check("RzCheckBox2", QStringLiteral("Тревоги"), contentBox);
    RzCheckBox3 = check("RzCheckBox3", QStringLiteral("События"), contentBox);
    RzCheckBox4 = check("RzCheckBox4", QStringLiteral("Охрана"), contentBox);
    RzCheckBox5 = check("RzCheckBox5", QStringLiteral("Команды"), contentBox);
    auto *contentLayout = new QGridLayout(contentBox);
    contentLayout->addWidget(RzCheckBox2, 0, 0);
    contentLayout->addWidget(RzCheckBox3, 0, 1);
    contentLayout->addWidget(RzCheckBox4, 1, 0);
    contentLayout->addWidget(RzCheckBox5, 1, 1);

    auto *userBox = box(QStringLiteral("Пользователь"), this);
    ComboBox2 = list("ComboBox2", userBox);
    (new QVBoxLayout(userBox))->addWidget(ComboBox2);

    SpeedButton1 = new QPushButton(QStringLiteral("Сформировать"), this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(groupBox);
    layout->addWidget(objectBox);
    layout->addWidget(periodBox);
    layout->addWidget(contentBox);
    layout->addWidget(userBox);
    layout->addWidget(SpeedButton1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QComboBox *combo : {ComboBox1, ComboBox2, ComboBox3, ComboBox4})
        resetList(combo);

    connect(ComboBox3, &QComboBox::currentIndexChanged, this, [this] { ComboBox3Change(); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });

    m_progress = new QProgressDialog(this);
    m_progress->setObjectName(QStringLiteral("ReportProgress"));
    m_progress->setWindowTitle(QStringLiteral("Формирование отчета"));
    m_progress->setCancelButtonText(QStringLiteral("Отмена"));
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    m_progress->setMinimumDuration(0);
    m_progress->setMinimumWidth(360);
    m_progress->reset();
    m_progress->hide();
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        if (!m_job)
            return;
        m_job->cancel();
        // The dialog hid itself; it stays, without its button, saying what
        // happens until the report has stopped.
        m_stopping = true;
        // Not inside the button's own click.
        QMetaObject::invokeMethod(
            m_progress, [this] {
                if (m_stopping)
                    m_progress->setCancelButton(nullptr);
            },
            Qt::QueuedConnection);
        m_progress->setRange(0, 0);
        showProgress(m_shownRows, m_shownTotal);
        m_progress->show();
    });
    m_clock = new QTimer(this);
    m_clock->setInterval(500);
    connect(m_clock, &QTimer::timeout, this, [this] { showProgress(m_shownRows, m_shownTotal); });

    WindowPlacement::closeOnEscape(this);
}

TForm7::~TForm7()
{
    // A report still running is stopped; it leaves no file behind.
    if (m_job)
        m_job->cancel();
    if (m_thread)
        m_thread->wait();
    if (m_file)
        m_file->discard();
}

void TForm7::abandon()
{
    if (!m_job)
        return;
    m_abandoned = true;
    m_job->cancel();
}

void TForm7::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    WindowPlacement::centreOver(this, QApplication::activeWindow() != this ? QApplication::activeWindow() : nullptr);
    FormShow();
}

void TForm7::resetList(QComboBox *combo)
{
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItem(All);
    combo->setCurrentIndex(0);
}

void TForm7::message(const QString &text)
{
    if (m_state.dialogs)
        m_state.dialogs->message(this, text);
}

void TForm7::FormShow()
{
    for (QComboBox *combo : {ComboBox1, ComboBox2, ComboBox3, ComboBox4})
        resetList(combo);

    QStringList groups;
    Database::Rows rows = m_database.forEach(ReportSql::groups(), [&groups](const DbRow &row) {
        groups << row.text(0);
        return true;
    });
    // What arrived before a cut stays listed.
    ComboBox3->addItems(groups);
    if (rows == Database::Rows::Failed)
        message(QStringLiteral("Нет доступа к таблице групп"));
    else if (rows == Database::Rows::Cut)
        m_database.showError(m_state.dialogs, this);

    QStringList logins;
    rows = m_database.forEach(ReportSql::users(), [&logins](const DbRow &row) {
        logins << row.text(0);
        return true;
    });
    ComboBox2->addItems(logins);
    if (rows == Database::Rows::Failed)
        message(QStringLiteral("Нет доступа к таблице пользователей"));
    else if (rows == Database::Rows::Cut)
        m_database.showError(m_state.dialogs, this);

    ComboBox3Change();
}

void TForm7::ComboBox3Change()
{
    resetList(ComboBox1);
    resetList(ComboBox4);
    m_names.clear();
    m_imeis.clear();
    const SqlEscaper q = m_database.escaper();
    QStringList names;
    QStringList imeis;
    const Database::Rows rows = m_database.forEach(
        ReportSql::objects(q, ComboBox3->currentText(), ComboBox3->currentIndex() > 0), [&](const DbRow &row) {
            names << row.text(0);
            imeis << row.text(1);
            return true;
        });
    if (rows == Database::Rows::Failed) {
        message(QStringLiteral("Нет доступа к таблице объектов"));
        return;
    }
    {
        const QSignalBlocker blocker(ComboBox1);
        ComboBox1->addItems(names);
    }
    ComboBox4->addItems(imeis);
    // Kept beside the lists for the report, which reads them in its own thread.
    m_names = names;
    m_imeis = imeis;
    if (rows == Database::Rows::Cut)
        m_database.showError(m_state.dialogs, this);
}

void TForm7::ComboBox1Change()
{
    ComboBox4->setCurrentIndex(ComboBox1->currentIndex());
}

ReportSelection TForm7::selection() const
{
    ReportSelection s;
    // An entry after "Все" is a choice even if some group, object or login
    // happened to be called "Все".
    s.group = ComboBox3->currentText();
    s.groupChosen = ComboBox3->currentIndex() > 0;
    s.object = ComboBox1->currentText();
    s.objectChosen = ComboBox1->currentIndex() > 0;
    s.imei = ComboBox4->currentText();
    s.from = QDateTime(DTP1->date(), QTime(0, 0, 0));
    s.to = QDateTime(DTP2->date(), QTime(23, 59, 59));
    s.wholePeriod = RzCheckBox1->isChecked();
    s.user = ComboBox2->currentText();
    s.userChosen = ComboBox2->currentIndex() > 0;
    s.alarms = RzCheckBox2->isChecked();
    s.events = RzCheckBox3->isChecked();
    s.guard = RzCheckBox4->isChecked();
    s.commands = RzCheckBox5->isChecked();
    return s;
}

QString TForm7::reportFolder() const
{
    return m_folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) : m_folder;
}

void TForm7::setControlsEnabled(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *>{ComboBox1, ComboBox2, ComboBox3, DTP1, DTP2, RzCheckBox1,
                                                       RzCheckBox2, RzCheckBox3, RzCheckBox4, RzCheckBox5,
                                                       SpeedButton1})
        w->setEnabled(enabled);
}

bool TForm7::Make_Report()
{
    if (m_job)
        return false;
    const ReportSelection s = selection();

    ReportOrder order;
    order.account = m_database.account();
    if (order.account.login.isEmpty())
        order.account = {m_state.Base_address, m_state.Base_port, m_state.Login, m_state.Password,
                         QStringLiteral("orvex_base"), {}};
    order.selection = s;
    order.heading = ReportSql::heading(s);
    order.allObjects = s.allObjects();
    order.names = m_names;
    order.imeis = m_imeis;
    order.sheetRows = m_sheetRows;

    m_file.emplace(reportFolder());
    if (!m_file->isUsable()) {
        message(QStringLiteral("Отчет некуда записать: ") + m_file->why());
        m_file.reset();
        return false;
    }
    order.path = m_file->work();

    m_job = std::make_unique<ReportJob>(std::move(order));
    connect(m_job.get(), &ReportJob::progress, this, [this](qint64 rows, qint64 total) { showProgress(rows, total); });
    connect(m_job.get(), &ReportJob::saving, this, [this] {
        m_saving = true;
        showProgress(m_shownRows, m_shownTotal);
    });
    connect(m_job.get(), &ReportJob::finished, this, &TForm7::jobFinished);

    setControlsEnabled(false);
    m_saving = false;
    m_shownRows = 0;
    m_shownTotal = -1;
    m_elapsed.start();
    m_progress->reset();
    showProgress(0, -1);
    m_progress->show();
    m_clock->start();

    ReportJob *job = m_job.get();
    m_thread.reset(QThread::create([job] { job->run(); }));
    emit reportStarted(job);
    m_thread->start();
    return true;
}

void TForm7::showProgress(qint64 rows, qint64 total)
{
    m_shownRows = rows;
    m_shownTotal = total;
    if (total < 0) {
        m_progress->setRange(0, 0);
    } else {
        // The bar counts in thousandths, whatever the number of rows.
        m_progress->setRange(0, 1000);
        m_progress->setValue(total > 0 ? int(std::min<qint64>(rows, total) * 1000 / total) : 1000);
    }
    if (m_stopping) {
        m_progress->setLabelText(QStringLiteral("Отчет останавливается..."));
        return;
    }
    QString text = total < 0 ? QStringLiteral("Выполняется запрос...")
                             : QStringLiteral("Записано строк: %1 из %2").arg(rows).arg(total);
    if (m_saving)
        text += QStringLiteral("\nСохранение файла...");
    text += QStringLiteral("\nПрошло времени: ") + minutesSeconds(m_elapsed.elapsed());
    m_progress->setLabelText(text);
}

QString TForm7::keepReport(ReportFile &file, bool whole, const QString &tell)
{
    file.restrict(file.written());
    QStringList told;
    if (file.isPrivate())
        told << QStringLiteral("Папку документов нельзя записать.");
    if (!tell.isEmpty())
        told << tell;
    // Where it is, whenever that is not the documents folder under the
    // report's own name or something else was said of it.
    const auto tellWhere = [&] {
        if (told.isEmpty() && file.isWhereExpected(file.written()))
            return;
        told << QStringLiteral("Отчет сохранен в файле ") + QDir::toNativeSeparators(file.written());
        message(told.join(QLatin1Char('\n')));
    };
    // Only a whole report takes the place of the one there, and only when
    // the operator agrees; what any other report is comes before anything.
    if (!whole || !file.besideAnother()) {
        tellWhere();
        return file.written();
    }
    const QString question =
        QStringLiteral("Файл %1 уже существует. Заменить его?").arg(QDir::toNativeSeparators(file.target()));
    if (m_state.dialogs && m_state.dialogs->confirm(this, question) && file.replace()) {
        tellWhere();
        return file.written();
    }
    told.prepend(QStringLiteral("Не забудьте сохранить сделанные изменения !"));
    told << QStringLiteral("Отчет сохранен в файле ") + QDir::toNativeSeparators(file.written());
    message(told.join(QLatin1Char('\n')));
    return file.written();
}

void TForm7::jobFinished(ReportJob::Outcome outcome, qint64 rows, qint64 total, const QString &error)
{
    // "Отмена" pressed after the job's last look, while its outcome was on
    // its way here, still wins.
    const bool cancelled = m_stopping || (m_job && m_job->isCancelled());
    if (cancelled)
        outcome = ReportJob::Outcome::Cancelled;
    if (m_thread)
        m_thread->wait();
    m_thread.reset();
    m_job.reset();
    m_clock->stop();
    m_progress->reset();
    m_progress->hide();
    m_progress->setCancelButtonText(QStringLiteral("Отмена"));
    m_stopping = false;
    setControlsEnabled(true);

    std::optional<ReportFile> file = std::exchange(m_file, std::nullopt);
    if (std::exchange(m_abandoned, false)) {
        // Finished or not before the stop reached it, it is nobody's now.
        file->discard();
        emit reportFinished(ReportJob::Outcome::Cancelled);
        return;
    }
    switch (outcome) {
    case ReportJob::Outcome::Cancelled:
        file->discard();
        break;
    case ReportJob::Outcome::Failed:
        file->discard();
        message(QStringLiteral("Отчет не записан в файл ") + QDir::toNativeSeparators(file->target())
                + QLatin1Char('\n') + error);
        break;
    case ReportJob::Outcome::Written:
    case ReportJob::Outcome::Rejected:
    case ReportJob::Outcome::Cut: {
        QString tell;
        if (outcome == ReportJob::Outcome::Rejected)
            tell = QStringLiteral("Сервер не выполнил запрос отчета, отчет не содержит записей") + QLatin1Char('\n')
                + error;
        else if (outcome == ReportJob::Outcome::Cut)
            tell = QStringLiteral("Отчет неполный: чтение записей прервано, получено %1 из %2").arg(rows).arg(total)
                + QLatin1Char('\n') + error;
        else if (rows != total)
            tell = QStringLiteral("Записей в отчете %1, а подсчитано %2").arg(rows).arg(total);
        if (!file->publish()) {
            file->discard();
            message(QStringLiteral("Отчет не записан в файл ") + QDir::toNativeSeparators(file->target())
                    + QLatin1Char('\n') + file->why());
            outcome = ReportJob::Outcome::Failed;
            break;
        }
        m_lastReport = keepReport(*file, outcome == ReportJob::Outcome::Written && rows == total, tell);
        const QUrl url = QUrl::fromLocalFile(m_lastReport);
        const bool opened = m_opener ? m_opener(url) : QDesktopServices::openUrl(url);
        if (!opened)
            message(QStringLiteral("Отчет не удалось открыть: нет программы для файлов .xlsx.\nОтчет сохранен в файле ")
                    + QDir::toNativeSeparators(m_lastReport));
        break;
    }
    }
    emit reportFinished(outcome);
}
