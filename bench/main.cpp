// orvex-bench: the station's list, notification and journal work against a
// real MariaDB, each figure a ratio to the bare C API fetch of the same rows
// measured in the same run. bench/run builds it, starts the database and
// runs it; see bench/README.md.

#include "BenchData.h"
#include "BenchDatabase.h"
#include "BenchPeer.h"

#include "Dialogs.h"
#include "ObjectFilterModel.h"
#include "Journal.h"
#include "JournalModel.h"
#include "JournalSql.h"
#include "MonitoringSession.h"
#include "ReportJob.h"
#include "ReportSql.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "Packets.h"
#include "ServerLink.h"
#include "SoundPlayer.h"
#include "StateModel.h"
#include "Station.h"
#include "TForm1.h"
#include "TForm3.h"
#include "TForm7.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <malloc.h>
#include <time.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

const QString Login = QStringLiteral("Bench");
const QString Password = QStringLiteral("bench-pass");
const QString Authenticated = QStringLiteral("Аутентификация пройдена");

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

[[noreturn]] void fatal(const QString &what)
{
    out() << "orvex-bench: " << what << Qt::endl;
    std::exit(2);
}

// CPU time of the calling thread: what the GUI thread itself spent,
// whatever else the machine was doing.
qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

class NotingDialogs final : public Dialogs
{
public:
    void message(QWidget *, const QString &text) override { messages << text; }
    bool confirm(QWidget *, const QString &) override { return true; }
    QStringList messages;
};

class CountingSoundPlayer final : public SoundPlayer
{
public:
    void play(const QString &) override { ++played; }
    int played = 0;
};

// Runs the event loop until done() holds or the time is up.
bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

void settle(int msecs)
{
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
}

// A field of /proc/self/status in kB.
qint64 statusKb(const char *field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void resetPeakRss()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown");
}

struct Samples
{
    std::vector<qint64> ns;
    void add(qint64 v) { ns.push_back(v); }
    qint64 best() const { return ns.empty() ? 0 : *std::min_element(ns.begin(), ns.end()); }
    qint64 first() const { return ns.empty() ? 0 : ns.front(); }
    qint64 median() const
    {
        if (ns.empty())
            return 0;
        std::vector<qint64> sorted = ns;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
    QString describe() const
    {
        return QStringLiteral("best %1 ms, median %2 ms of %3, first %4 ms")
            .arg(ms(best()), 0, 'f', 2)
            .arg(ms(median()), 0, 'f', 2)
            .arg(ns.size())
            .arg(ms(first()), 0, 'f', 2);
    }
};

struct Figure
{
    QString name;
    QString measured;
    QString target;
    bool pass = false;
};

class Bench
{
public:
    struct Options
    {
        quint16 port = 0;
        QString schema;
        int objects = 10000;
        int bigObjects = 100000;
        int burst = 5000;
        int messages = 100000;
        int reps = 7;
        int reportRows = 1000000;
        int reportReps = 3;
        int hugeObjects = 400000;
        int longJournal = 2000000;
        // Groups of figures to measure besides the list loads (1a, 1b); empty: all.
        QStringList only;
        bool wants(const char *group) const { return only.isEmpty() || only.contains(QLatin1String(group)); }
    };

    explicit Bench(const Options &options)
        : m_o(options)
    {
    }

    int run();

private:
    void prepareDatabase();
    void startStation();
    // Load_Objects + Load_States for the group choice, as after a login;
    // the share of Load_Objects goes to objectsNs.
    qint64 loadList(qint64 *objectsNs = nullptr);
    QString checkList(int expected);
    int settleMs(int count) const;
    void measureList(int count, Samples *station, Samples *bare);
    void measureLongJournal();
    QString listFigure(const Samples &station, const Samples &bare) const;
    void measureHugeList();
    QString listParts(int count);
    // Waits (at most 60 s) until the server has written out the pages a bulk
    // insert left dirty, so that its flushing does not run beside a measure.
    void settleDatabase(const QString &after);
    struct Burst
    {
        int listed = 0;
        double rate = 0;
        double seconds = 0;
        qint64 gap = 0;
        int ticks = 0;
        int right = 0;
        int distinct = 0;
        bool sorted = false;
        int sounds = 0;
        int sounding = 0;
        bool allRight = false;
        // Journal rows written during the burst: all, by its end, shown.
        int written = 0;
        int writtenDuring = 0;
        int shownAtEnd = 0;
        int shown = 0;
        int distinctShown = 0;
        double cpuMs = 0;
    };
    // A burst of notifications to random objects of the listed ones; with
    // journalRows another connection writes journal rows meanwhile.
    Burst runBurst(int listed, quint32 seed, bool journalRows);
    QString describeBurst(const Burst &r) const;
    void measureNotifications();
    void measureBigNotifications();
    void measureJournal();
    void measureReport();
    void measureSearch();
    qint64 bareWrite(const QString &path);
    void print();

    Options m_o;
    BenchDatabase m_root;
    BenchDatabase m_bare;
    QDateTime m_journalStart;
    QTemporaryDir m_home;
    NotingDialogs m_dialogs;
    CountingSoundPlayer m_sounds;
    std::unique_ptr<BenchPeer> m_peer;
    std::unique_ptr<Station> m_station;
    TForm1 *m_form = nullptr;
    QList<Figure> m_figures;
    QStringList m_notes;
    Samples m_list10Station, m_list10Bare, m_list100Station, m_list100Bare, m_list400Station, m_list400Bare;
    double m_smallRate = 0;
};

void Bench::prepareDatabase()
{
    if (!m_root.connect(m_o.port, QStringLiteral("root"), QString(), true))
        fatal(QStringLiteral("cannot connect as root to 127.0.0.1:%1: %2").arg(m_o.port).arg(m_root.error()));
    QFile schemaFile(m_o.schema);
    if (!schemaFile.open(QIODevice::ReadOnly))
        fatal(QStringLiteral("cannot read %1").arg(m_o.schema));
    const QString user = QStringLiteral("'%1'@'%'").arg(Login);
    QString groups;
    QString groupRows;
    for (const QString &group : BenchData::groups()) {
        groups += group + QLatin1Char('\n');
        groupRows += (groupRows.isEmpty() ? QString() : QStringLiteral(",")) + QStringLiteral("('%1')").arg(group);
    }
    const QList<QByteArray> setup = {
        QStringLiteral("DROP USER IF EXISTS %1").arg(user).toUtf8(),
        "DROP DATABASE IF EXISTS orvex_base",
        schemaFile.readAll(),
        QStringLiteral("INSERT INTO orvex_base.`groups`(Name) VALUES %1").arg(groupRows).toUtf8(),
        // The account and grants the account editor gives an administrator.
        QStringLiteral("CREATE USER %1 IDENTIFIED BY '%2'").arg(user, Password).toUtf8(),
        QStringLiteral("GRANT SELECT ON orvex_base.* TO %1").arg(user).toUtf8(),
        QStringLiteral("GRANT INSERT ON orvex_base.messages TO %1").arg(user).toUtf8(),
        QStringLiteral("GRANT UPDATE ON orvex_base.objects TO %1").arg(user).toUtf8(),
        QStringLiteral("GRANT INSERT,UPDATE,DELETE ON orvex_base.* TO %1").arg(user).toUtf8(),
        QStringLiteral("INSERT INTO orvex_base.users(Login,Pass,Host,Admin,Number,Groups) VALUES('%1','%2','%','1','','%3')")
            .arg(Login, Password, groups)
            .toUtf8(),
    };
    for (const QByteArray &sql : setup) {
        if (!m_root.exec(sql))
            fatal(QStringLiteral("setup failed: %1").arg(m_root.error()));
    }

    const qint64 t0 = nowNs();
    for (const QByteArray &sql : BenchData::objects(0, m_o.objects)) {
        if (!m_root.exec(sql))
            fatal(QStringLiteral("inserting objects failed: %1").arg(m_root.error()));
    }
    // The journal ends an hour ago; the notifications' top-ups find nothing newer.
    const QDateTime now = QDateTime::currentDateTime();
    m_journalStart = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()))
                         .addSecs(-qint64(m_o.messages) - 3600);
    for (const QByteArray &sql : BenchData::messages(m_o.messages, m_o.objects, m_journalStart)) {
        if (!m_root.exec(sql))
            fatal(QStringLiteral("inserting messages failed: %1").arg(m_root.error()));
    }
    m_notes << QStringLiteral("data: %1 objects and %2 journal rows inserted in %3 s")
                   .arg(m_o.objects)
                   .arg(m_o.messages)
                   .arg(double(nowNs() - t0) / 1e9, 0, 'f', 1);

    if (!m_bare.connect(m_o.port, Login, Password, false))
        fatal(QStringLiteral("the operator cannot connect: %1").arg(m_bare.error()));
}

void Bench::startStation()
{
    m_peer = std::make_unique<BenchPeer>();
    if (!m_peer->isListening())
        fatal(QStringLiteral("the bench's server cannot listen"));
    QFile config(m_home.filePath(QStringLiteral("Config.ini")));
    if (!config.open(QIODevice::WriteOnly))
        fatal(QStringLiteral("cannot write Config.ini"));
    config.write(QStringLiteral("[Connections]\nServer_address=127.0.0.1\nServer_port=%1\nBase_address=127.0.0.1\n"
                                "Base_port=%2\n[Users]\nCount=1\nIndex=0\n[User0]\nLogin=%3\nPass=%4\n")
                     .arg(m_peer->port())
                     .arg(m_o.port)
                     .arg(Login, Password)
                     .toUtf8());
    config.close();

    m_station = std::make_unique<Station>(m_home.path(), &m_dialogs);
    m_form = m_station->form1();
    m_form->setSoundPlayer(&m_sounds);
    m_station->start();
    m_station->form3()->Edit1->setText(Password);
    m_station->form3()->SpeedButton1->click();
    if (!waitFor([this] { return m_dialogs.messages.contains(Authenticated); }, 60000))
        fatal(QStringLiteral("the station did not log in; its messages: %1").arg(m_dialogs.messages.join(QStringLiteral(" | "))));
    if (m_dialogs.messages != QStringList{Authenticated})
        fatal(QStringLiteral("unexpected messages at login: %1").arg(m_dialogs.messages.join(QStringLiteral(" | "))));
    m_dialogs.messages.clear();
    settle(200);
}

qint64 Bench::loadList(qint64 *objectsNs)
{
    ObjectList &objects = m_form->objects();
    const qint64 t0 = nowNs();
    objects.Load_Objects(m_form->ComboBox1->currentText());
    const qint64 t1 = nowNs();
    objects.Load_States();
    const qint64 t2 = nowNs();
    if (objectsNs)
        *objectsNs = t1 - t0;
    return t2 - t0;
}

// Every object listed once with its stored state, highest code first.
QString Bench::checkList(int expected)
{
    const ObjectListModel *model = m_form->objects().model();
    if (model->rowCount() != expected)
        return QStringLiteral("%1 entries instead of %2").arg(model->rowCount()).arg(expected);
    QHash<QString, QString> stored;
    for (const QStringList &row : m_root.rows("SELECT IMEI,State FROM orvex_base.objects"))
        stored.insert(row.at(0), row.at(1));
    if (stored.size() != expected)
        return QStringLiteral("%1 objects stored instead of %2").arg(stored.size()).arg(expected);
    for (int row = 0; row < expected; ++row) {
        const ObjectListModel::Entry &e = model->entry(row);
        if (stored.value(e.caption) != e.state)
            return QStringLiteral("%1 shows state %2, stored %3").arg(e.caption, e.state, stored.value(e.caption));
        if (row > 0 && StateModel::Compare_States(model->entry(row - 1).code, e.code) > 0)
            return QStringLiteral("not sorted at row %1").arg(row);
        stored.remove(e.caption);
    }
    if (!stored.isEmpty())
        return QStringLiteral("%1 objects not listed").arg(stored.size());
    return {};
}

int Bench::settleMs(int count) const
{
    // The view lays the icons out in batches after the load; a bigger list
    // takes longer, and its layout must not run into the next repetition.
    return count > m_o.bigObjects ? 1500 : count > m_o.objects ? 400 : 100;
}

void Bench::measureList(int count, Samples *station, Samples *bare)
{
    const QByteArray sql = "SELECT IMEI,State FROM orvex_base.objects";
    const int reps = count > m_o.bigObjects ? std::max(5, m_o.reps / 2) : count > m_o.objects ? m_o.reps : 2 * m_o.reps;
    Samples cpu;
    for (int r = 0; r < reps; ++r) {
        const qint64 t0 = nowNs();
        const qint64 rows = m_bare.fetchAll(sql);
        bare->add(nowNs() - t0);
        if (rows != count)
            fatal(QStringLiteral("bare fetch gave %1 rows instead of %2: %3").arg(rows).arg(count).arg(m_bare.error()));
        const qint64 c0 = threadCpuNs();
        station->add(loadList());
        cpu.add(threadCpuNs() - c0);
        // Time for the view's layout and painting, which the list defers to the event loop.
        settle(settleMs(count));
    }
    m_notes << QStringLiteral("list %1: the GUI thread's CPU time in the loads %2").arg(count).arg(cpu.describe());
    m_notes << listParts(count);
    const QString wrong = checkList(count);
    if (!wrong.isEmpty())
        fatal(QStringLiteral("list of %1 objects is wrong: %2").arg(count).arg(wrong));
    if (!m_dialogs.messages.isEmpty())
        fatal(QStringLiteral("messages while listing: %1").arg(m_dialogs.messages.join(QStringLiteral(" | "))));
}

void Bench::settleDatabase(const QString &after)
{
    const QByteArray dirty = "SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                             "WHERE VARIABLE_NAME='INNODB_BUFFER_POOL_PAGES_DIRTY'";
    // Written out as fast as the server can, for the while.
    m_root.exec("SET GLOBAL innodb_max_dirty_pages_pct=0");
    const qint64 t0 = nowNs();
    qint64 pages = -1;
    while (nowNs() - t0 < 60'000'000'000LL) {
        const QList<QStringList> rows = m_root.rows(dirty);
        pages = rows.isEmpty() ? -1 : rows.first().value(0).toLongLong();
        if (pages <= 0)
            break;
        settle(200);
    }
    m_root.exec("SET GLOBAL innodb_max_dirty_pages_pct=DEFAULT");
    m_notes << QStringLiteral("%1: the server's dirty pages written out in %2 s (%3 left)")
                   .arg(after)
                   .arg(double(nowNs() - t0) / 1e9, 0, 'f', 1)
                   .arg(qMax<qint64>(0, pages));
}

// Where the list's time goes: each statement alone, bare, and each half of the station's load.
QString Bench::listParts(int count)
{
    Samples imeis, states, objects, whole;
    for (int r = 0; r < 3; ++r) {
        qint64 t0 = nowNs();
        m_bare.fetchAll("SELECT IMEI FROM orvex_base.objects");
        imeis.add(nowNs() - t0);
        t0 = nowNs();
        m_bare.fetchAll("SELECT IMEI,State FROM orvex_base.objects");
        states.add(nowNs() - t0);
        qint64 part = 0;
        whole.add(loadList(&part));
        objects.add(part);
        settle(settleMs(count));
    }
    return QStringLiteral("list %1 parts (best of 3): bare SELECT IMEI %2 ms, bare SELECT IMEI,State %3 ms; "
                          "Load_Objects %4 ms, Load_States %5 ms")
        .arg(count)
        .arg(ms(imeis.best()), 0, 'f', 2)
        .arg(ms(states.best()), 0, 'f', 2)
        .arg(ms(objects.best()), 0, 'f', 2)
        .arg(ms(whole.best() - objects.best()), 0, 'f', 2);
}

Bench::Burst Bench::runBurst(int listed, quint32 seed, bool journalRows)
{
    // The journal shows the group's latest rows, as on an operator's screen.
    Journal &journal = m_form->journal();
    const int shown = std::min(1000, m_o.messages);
    m_form->session().setPeriod(m_journalStart.addSecs(m_o.messages - shown - 1), QDateTime::currentDateTime().addSecs(3600), false);
    journal.Load_Messages(AllKey, false);
    if (journal.model()->rowCount() != shown)
        fatal(QStringLiteral("journal before the burst has %1 rows instead of %2").arg(journal.model()->rowCount()).arg(shown));
    settle(100);

    Burst r;
    r.listed = listed;
    std::mt19937 random(seed);
    QByteArray payload;
    payload.reserve(qsizetype(m_o.burst) * 17);
    QHash<QString, quint8> last;
    for (int i = 0; i < m_o.burst; ++i) {
        const QString imei = BenchData::imei(int(random() % quint32(listed)));
        const quint8 code = BenchData::randomState(random());
        payload += Packets::state(imei, code);
        last.insert(imei, code);
        if (StateModel::Sound_Name(code) != StateModel::NoSound)
            ++r.sounding;
    }
    if (payload.size() != qsizetype(m_o.burst) * 17)
        fatal(QStringLiteral("burst is %1 bytes").arg(payload.size()));
    // Sent once more after the burst: the top-up of the rows written since
    // the burst's last one. The code is the one sent last, so nothing else changes.
    const QByteArray closing = payload.right(17);
    if (journalRows && StateModel::Sound_Name(quint8(closing.back())) != StateModel::NoSound)
        ++r.sounding;

    const auto selects = [this] {
        const QList<QStringList> rows = m_root.rows("SHOW GLOBAL STATUS LIKE 'Com_select'");
        return rows.isEmpty() ? -1 : rows.first().value(1).toLongLong();
    };
    const qint64 selectsBefore = selects();
    m_sounds.played = 0;

    // Journal rows written by another connection while the burst runs, a
    // row every 5 ms, so that several share a second.
    const QString mark = QStringLiteral("Строка во время пачки ");
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    QString writerError;
    BenchDatabase second;
    std::thread writer;
    const auto shownRows = [&journal, &mark] {
        int count = 0;
        for (int i = 0; i < journal.model()->rowCount(); ++i)
            count += journal.model()->row(i).Event.startsWith(mark) ? 1 : 0;
        return count;
    };

    int handled = 0;
    qint64 doneNs = 0;
    qint64 doneCpuNs = 0;
    QEventLoop loop;
    // Connected after the main window's own connection: runs once On_State_Report has returned.
    const auto counting = QObject::connect(&m_form->link(), &ServerLink::stateReport, m_form, [&] {
        if (++handled == m_o.burst) {
            doneNs = nowNs();
            doneCpuNs = threadCpuNs();
            loop.quit();
        }
    });
    std::vector<qint64> ticks;
    ticks.reserve(100000);
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ticks.push_back(nowNs()); });
    ticker.start();
    settle(60);

    if (journalRows) {
        if (!second.connect(m_o.port, QStringLiteral("root"), QString(), false))
            fatal(QStringLiteral("the second connection failed: %1").arg(second.error()));
        writer = std::thread([&] {
            for (int n = 0; !stop.load(); ++n) {
                const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                const QByteArray sql = QStringLiteral("INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) "
                                                      "VALUES('%1','%2','Тревога','%3%4','Центр','')")
                                           .arg(BenchData::imei(int((qint64(n) * 7919) % listed)), when, mark)
                                           .arg(n)
                                           .toUtf8();
                if (!second.exec(sql)) {
                    writerError = second.error();
                    return;
                }
                written.store(n + 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }

    const qint64 startNs = nowNs();
    const qint64 startCpuNs = threadCpuNs();
    m_peer->send(payload);
    QTimer::singleShot(300000, &loop, &QEventLoop::quit);
    loop.exec();
    if (journalRows) {
        r.writtenDuring = written.load();
        r.shownAtEnd = shownRows();
    }
    settle(30);
    ticker.stop();
    const qint64 selectsDuring = selects() - selectsBefore;
    if (handled != m_o.burst)
        fatal(QStringLiteral("only %1 of %2 notifications handled within 300 s").arg(handled).arg(m_o.burst));
    if (journalRows) {
        stop.store(true);
        writer.join();
        if (!writerError.isEmpty())
            fatal(QStringLiteral("writing journal rows during the burst failed: %1").arg(writerError));
        r.written = written.load();
        m_peer->send(closing);
        if (!waitFor([&] { return handled == m_o.burst + 1; }, 10000))
            fatal(QStringLiteral("the notification after the burst was not handled"));
        // Every row once: the numbers shown, each counted.
        QSet<int> numbers;
        for (int i = 0; i < journal.model()->rowCount(); ++i) {
            const QString &event = journal.model()->row(i).Event;
            if (!event.startsWith(mark))
                continue;
            ++r.shown;
            numbers.insert(event.mid(mark.size()).toInt());
        }
        r.distinctShown = int(numbers.size());
        if (!m_root.exec(QStringLiteral("DELETE FROM orvex_base.messages WHERE Event LIKE '%1%%'").arg(mark).toUtf8()))
            fatal(QStringLiteral("removing the burst's journal rows failed: %1").arg(m_root.error()));
    }
    QObject::disconnect(counting);

    for (size_t i = 1; i < ticks.size(); ++i) {
        if (ticks[i] > startNs && ticks[i - 1] < doneNs)
            r.gap = std::max(r.gap, ticks[i] - ticks[i - 1]);
    }
    r.ticks = int(ticks.size());

    const ObjectListModel *model = m_form->objects().model();
    QStringList wrong;
    for (auto it = last.cbegin(); it != last.cend(); ++it) {
        const int row = model->findFirst(it.key());
        if (row >= 0 && model->entry(row).code == it.value() && model->entry(row).state == QString::number(it.value()))
            ++r.right;
        else if (wrong.size() < 5)
            wrong << QStringLiteral("%1: %2 instead of %3")
                         .arg(it.key(), row >= 0 ? model->entry(row).state : QStringLiteral("missing"))
                         .arg(it.value());
    }
    r.distinct = int(last.size());
    r.sorted = model->rowCount() == listed;
    for (int row = 1; r.sorted && row < model->rowCount(); ++row)
        r.sorted = StateModel::Compare_States(model->entry(row - 1).code, model->entry(row).code) <= 0;
    r.sounds = m_sounds.played;
    r.allRight = r.right == r.distinct && r.sorted && r.sounds == r.sounding && m_dialogs.messages.isEmpty();
    r.seconds = double(doneNs - startNs) / 1e9;
    r.rate = m_o.burst / r.seconds;
    r.cpuMs = ms(doneCpuNs - startCpuNs);
    m_notes << QStringLiteral("burst at %1 objects%2: %3 packets of 17 bytes to %4 distinct objects, no object selected "
                              "(top-ups for \"All\"); %5 SELECTs ran on the server during it; the bench's writer was "
                              "done %6 ms after the start; the GUI thread's CPU time %7 ms of %8 ms")
                   .arg(listed)
                   .arg(journalRows ? QStringLiteral(" with journal rows arriving") : QString())
                   .arg(m_o.burst)
                   .arg(r.distinct)
                   .arg(selectsDuring)
                   .arg(ms(m_peer->lastSendDoneNs() - startNs), 0, 'f', 1)
                   .arg(r.cpuMs, 0, 'f', 0)
                   .arg(r.seconds * 1e3, 0, 'f', 0);
    if (!wrong.isEmpty())
        m_notes << QStringLiteral("wrong entries: %1").arg(wrong.join(QStringLiteral("; ")));
    if (!m_dialogs.messages.isEmpty())
        m_notes << QStringLiteral("messages during the burst: %1").arg(m_dialogs.messages.join(QStringLiteral(" | ")));
    return r;
}

QString Bench::describeBurst(const Burst &r) const
{
    return QStringLiteral("%1/%2 objects right, list sorted: %3, sounds %4/%5")
        .arg(r.right)
        .arg(r.distinct)
        .arg(r.sorted ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(r.sounds)
        .arg(r.sounding);
}

void Bench::measureNotifications()
{
    const Burst small = runBurst(m_o.objects, 5, false);
    m_figures << Figure{QStringLiteral("2a notifications at %1 objects: final code of every object").arg(m_o.objects),
                        describeBurst(small), QStringLiteral("all, none lost"), small.allRight};
    m_figures << Figure{QStringLiteral("2b notifications handled per second at %1 objects").arg(m_o.objects),
                        QStringLiteral("%1/s (%2 in %3 ms)").arg(small.rate, 0, 'f', 0).arg(m_o.burst).arg(small.seconds * 1e3, 0, 'f', 0),
                        QStringLiteral(">= 1000/s"), small.rate >= 1000.0};
    m_figures << Figure{QStringLiteral("2c largest gap of a 10 ms timer in the burst at %1").arg(m_o.objects),
                        QStringLiteral("%1 ms (%2 ticks)").arg(ms(small.gap), 0, 'f', 1).arg(small.ticks),
                        QStringLiteral("<= 100 ms"), small.gap <= 100'000'000};
    m_smallRate = small.rate;
}

void Bench::measureBigNotifications()
{
    const Burst big = runBurst(m_o.bigObjects, 6, false);
    m_figures << Figure{QStringLiteral("2d notifications at %1 objects: final code of every object").arg(m_o.bigObjects),
                        describeBurst(big), QStringLiteral("all, none lost"), big.allRight};
    const double slower = m_smallRate / big.rate;
    m_figures << Figure{QStringLiteral("2e notifications handled per second at %1 objects").arg(m_o.bigObjects),
                        QStringLiteral("%1/s (%2 in %3 ms), %4x slower than at %5")
                            .arg(big.rate, 0, 'f', 0)
                            .arg(m_o.burst)
                            .arg(big.seconds * 1e3, 0, 'f', 0)
                            .arg(slower, 0, 'f', 2)
                            .arg(m_o.objects),
                        QStringLiteral(">= 1000/s, <= 1.5x slower"), big.rate >= 1000.0 && slower <= 1.5};
    m_figures << Figure{QStringLiteral("2f largest gap of a 10 ms timer in the burst at %1").arg(m_o.bigObjects),
                        QStringLiteral("%1 ms (%2 ticks)").arg(ms(big.gap), 0, 'f', 1).arg(big.ticks),
                        QStringLiteral("<= 100 ms"), big.gap <= 100'000'000};

    const Burst rows = runBurst(m_o.bigObjects, 7, true);
    const bool found = rows.written > 0 && rows.shown == rows.written && rows.distinctShown == rows.written;
    m_figures << Figure{QStringLiteral("2g burst at %1 objects while journal rows arrive: rows shown").arg(m_o.bigObjects),
                        QStringLiteral("%1/%2 rows shown once (%3 of %4 by the burst's end); %5, %6/s, gap %7 ms")
                            .arg(rows.shown)
                            .arg(rows.written)
                            .arg(rows.shownAtEnd)
                            .arg(rows.writtenDuring)
                            .arg(describeBurst(rows))
                            .arg(rows.rate, 0, 'f', 0)
                            .arg(ms(rows.gap), 0, 'f', 1),
                        QStringLiteral("all, none lost"), found && rows.allRight};
}

void Bench::measureJournal()
{
    Journal &journal = m_form->journal();
    const QDateTime start = m_journalStart.addSecs(-1);
    const QDateTime end = m_journalStart.addSecs(m_o.messages);
    m_form->session().setPeriod(start, end, false);
    GroupChoice choice;
    choice.text = m_form->ComboBox1->currentText();
    for (int i = 0; i < m_form->ComboBox1->count(); ++i)
        choice.items << m_form->ComboBox1->itemText(i);
    const QByteArray sql =
        JournalSql::loadMessages(SqlEscaper(), AllKey, choice, m_station->state().Full_rights, start.toString(Journal::DateFormat), end.toString(Journal::DateFormat))
            .toUtf8();

    // Freed memory of the earlier phases goes back first, so that the load
    // cannot hide its own needs in it.
    malloc_trim(0);
    const qint64 rssBefore = statusKb("VmRSS");
    resetPeakRss();
    const qint64 t0 = nowNs();
    journal.Load_Messages(AllKey, true);
    const qint64 first = nowNs() - t0;
    const qint64 rssAfter = statusKb("VmRSS");
    const qint64 peak = statusKb("VmHWM");

    const JournalModel *model = journal.model();
    if (model->rowCount() != m_o.messages)
        fatal(QStringLiteral("journal shows %1 rows instead of %2").arg(model->rowCount()).arg(m_o.messages));
    const QList<QStringList> server = m_bare.rows(sql);
    if (server.size() != m_o.messages)
        fatal(QStringLiteral("the statement gives %1 rows instead of %2").arg(server.size()).arg(m_o.messages));
    const auto same = [](const JournalRow &r, const QStringList &s) {
        return QStringList{r.IMEI, r.Date, r.Type, r.Event, r.User} == s;
    };
    if (!same(model->row(0), server.last()) || !same(model->row(model->rowCount() - 1), server.first()))
        fatal(QStringLiteral("the journal's rows differ from the statement's"));
    settle(100);

    Samples station;
    Samples bare;
    for (int r = 0; r < m_o.reps; ++r) {
        const qint64 b0 = nowNs();
        const qint64 rows = m_bare.fetchAll(sql);
        bare.add(nowNs() - b0);
        if (rows != m_o.messages)
            fatal(QStringLiteral("bare journal fetch gave %1 rows").arg(rows));
        const qint64 s0 = nowNs();
        journal.Load_Messages(AllKey, true);
        station.add(nowNs() - s0);
        settle(100);
    }
    if (model->rowCount() != m_o.messages || !m_dialogs.messages.isEmpty())
        fatal(QStringLiteral("journal went wrong while measured"));

    const double ratio = double(station.best()) / double(bare.best());
    m_figures << Figure{QStringLiteral("3a journal load of %1 rows / bare fetch").arg(m_o.messages),
                        QStringLiteral("%1x (%2 / %3 ms)")
                            .arg(ratio, 0, 'f', 2)
                            .arg(ms(station.best()), 0, 'f', 1)
                            .arg(ms(bare.best()), 0, 'f', 1),
                        QStringLiteral("<= 2x"), ratio <= 2.0};
    const double grown = double(rssAfter - rssBefore) / 1024.0;
    m_figures << Figure{QStringLiteral("3b resident memory added by the load"),
                        QStringLiteral("%1 MB (peak during it +%2 MB)")
                            .arg(grown, 0, 'f', 1)
                            .arg(double(peak - rssBefore) / 1024.0, 0, 'f', 1),
                        QStringLiteral("<= 100 MB"), grown <= 100.0};
    m_notes << QStringLiteral("journal: station %1; bare %2; first load %3 ms")
                   .arg(station.describe(), bare.describe())
                   .arg(ms(first), 0, 'f', 1);
    m_notes << QStringLiteral("journal statement: %1").arg(QString::fromUtf8(sql));
}

// The report rows held compactly for the bare write: one arena, five fields a row.
struct HeldRows
{
    QByteArray arena;
    std::vector<quint32> ends; // end of every field in the arena
    qint64 rows = 0;
};

HeldRows g_held;

qint64 Bench::bareWrite(const QString &path)
{
    // The least a writer of the same rows must do: a date-time and four texts
    // a row, in constant-memory mode, and the file put together.
    const qint64 t0 = nowNs();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    const QByteArray name = QFile::encodeName(path);
    lxw_workbook *book = workbook_new_opt(name.constData(), &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
    lxw_format *text = workbook_add_format(book);
    format_set_num_format(text, "0");
    lxw_format *date = workbook_add_format(book);
    format_set_num_format(date, "dd.mm.yyyy hh:mm:ss");
    std::string field;
    quint32 begin = 0;
    for (qint64 r = 0; r < g_held.rows; ++r) {
        const auto row = lxw_row_t(r + 9);
        for (int c = 0; c < 5; ++c) {
            const quint32 end = g_held.ends[size_t(r * 5 + c)];
            field.assign(g_held.arena.constData() + begin, end - begin);
            begin = end;
            if (c == 0) {
                lxw_datetime when{};
                int sec = 0;
                std::sscanf(field.c_str(), "%d-%d-%d %d:%d:%d", &when.year, &when.month, &when.day, &when.hour,
                            &when.min, &sec);
                when.sec = sec;
                worksheet_write_datetime(sheet, row, 0, &when, date);
            } else {
                worksheet_write_string(sheet, row, lxw_col_t(c), field.c_str(), text);
            }
        }
    }
    if (workbook_close(book) != LXW_NO_ERROR)
        fatal(QStringLiteral("bare write to %1 failed").arg(path));
    return nowNs() - t0;
}

void Bench::measureReport()
{
    // The journal grows to the report's size with older rows, so that the
    // figures above are not changed by them.
    const int more = m_o.reportRows - m_o.messages;
    if (more > 0) {
        const qint64 t0 = nowNs();
        const QString start = m_journalStart.addSecs(-1).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        const QString sql = QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) "
            "SELECT CONCAT('35693803',LPAD(seq MOD %1,7,'0')),'%2' - INTERVAL seq SECOND,"
            "ELT(1 + seq MOD 4,'Тревога','Событие','Охрана','Команда'),"
            "ELT(1 + seq MOD 5,'Сработал датчик удара','Взят под охрану','Снят с охраны','Кадр с камеры',"
            "'Тревога принята в обработку'),"
            "ELT(1 + seq MOD 5,'Центр','Север','Юг','Запад','Восток'),ELT(1 + seq MOD 3,'','Bench','Оператор') "
            "FROM orvex_base.seq_1_to_%3").arg(m_o.objects).arg(start).arg(more);
        if (!m_root.exec(sql.toUtf8()))
            fatal(QStringLiteral("inserting report rows failed: %1").arg(m_root.error()));
        m_notes << QStringLiteral("report: %1 journal rows more inserted in %2 s").arg(more).arg(double(nowNs() - t0) / 1e9, 0, 'f', 1);
    }

    TForm7 *form = m_station->form7();
    QTemporaryDir out;
    form->setReportFolder(out.path());
    form->setOpener([](const QUrl &) { return true; });
    form->show();
    settle(100);
    form->RzCheckBox1->setChecked(true);
    const QByteArray sql = ReportSql::report(SqlEscaper(), form->selection()).toUtf8();
    if (form->ComboBox1->count() != m_o.bigObjects + 1)
        fatal(QStringLiteral("report window lists %1 objects").arg(form->ComboBox1->count() - 1));

    std::vector<qint64> ticks;
    ticks.reserve(200000);
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ticks.push_back(nowNs()); });

    int handled = 0;
    const auto counting = QObject::connect(&m_form->link(), &ServerLink::stateReport, m_form, [&handled] { ++handled; });
    QByteArray burst;
    std::mt19937 random(11);
    for (int i = 0; i < m_o.burst; ++i)
        burst += Packets::state(BenchData::imei(int(random() % quint32(m_o.objects))), BenchData::randomState(random()));

    qint64 gap = 0;
    qint64 rssBefore = 0;
    qint64 rssPeak = 0;
    Samples station;
    const auto report = [&](bool withBurst) {
        malloc_trim(0);
        const qint64 before = statusKb("VmRSS");
        resetPeakRss();
        ticks.clear();
        bool finished = false;
        ReportJob::Outcome outcome = ReportJob::Outcome::Failed;
        const auto c = QObject::connect(form, &TForm7::reportFinished, form, [&](ReportJob::Outcome o) {
            finished = true;
            outcome = o;
        });
        ticker.start();
        handled = 0;
        const qint64 t0 = nowNs();
        form->SpeedButton1->click();
        if (withBurst)
            QTimer::singleShot(500, [&] { m_peer->send(burst); });
        if (!waitFor([&] { return finished; }, 600000))
            fatal(QStringLiteral("the report did not end within 10 minutes"));
        const qint64 took = nowNs() - t0;
        ticker.stop();
        QObject::disconnect(c);
        if (outcome != ReportJob::Outcome::Written || !m_dialogs.messages.isEmpty())
            fatal(QStringLiteral("the report ended with %1; messages: %2").arg(int(outcome)).arg(m_dialogs.messages.join(QStringLiteral(" | "))));
        for (size_t i = 1; i < ticks.size(); ++i)
            gap = std::max(gap, ticks[i] - ticks[i - 1]);
        if (withBurst && !waitFor([&] { return handled == m_o.burst; }, 60000))
            fatal(QStringLiteral("only %1 of %2 notifications handled during the report").arg(handled).arg(m_o.burst));
        if (rssPeak == 0) {
            rssBefore = before;
            rssPeak = statusKb("VmHWM");
        }
        return took;
    };

    // The first run is measured for memory, before anything else is held.
    station.add(report(false));
    const qint64 fileSize = QFileInfo(form->lastReport()).size();

    const qint64 held0 = nowNs();
    g_held = {};
    g_held.ends.reserve(size_t(m_o.reportRows) * 5);
    g_held.rows = m_bare.streamRows(sql, [](char **row, unsigned long *lengths) {
        for (int c = 0; c < 5; ++c) {
            g_held.arena.append(row[c], qsizetype(lengths[c]));
            g_held.ends.push_back(quint32(g_held.arena.size()));
        }
    });
    if (g_held.rows != m_o.reportRows)
        fatal(QStringLiteral("the report statement gives %1 rows instead of %2").arg(g_held.rows).arg(m_o.reportRows));
    m_notes << QStringLiteral("report rows held for the bare write in %1 s").arg(double(nowNs() - held0) / 1e9, 0, 'f', 1);

    Samples fetch;
    Samples write;
    for (int r = 0; r < m_o.reportReps; ++r) {
        const qint64 f0 = nowNs();
        if (m_bare.streamAll(sql) != m_o.reportRows)
            fatal(QStringLiteral("bare report fetch failed: %1").arg(m_bare.error()));
        fetch.add(nowNs() - f0);
        write.add(bareWrite(out.filePath(QStringLiteral("bare.xlsx"))));
        settle(100);
        station.add(report(r == 0));
        settle(100);
    }
    QObject::disconnect(counting);
    g_held = {};
    form->hide();

    const qint64 bare = fetch.best() + write.best();
    const double ratio = double(station.best()) / double(bare);
    m_figures << Figure{QStringLiteral("4a report of %1 rows / (bare fetch + bare write)").arg(m_o.reportRows),
                        QStringLiteral("%1x (%2 / (%3 + %4) ms)")
                            .arg(ratio, 0, 'f', 2)
                            .arg(ms(station.best()), 0, 'f', 0)
                            .arg(ms(fetch.best()), 0, 'f', 0)
                            .arg(ms(write.best()), 0, 'f', 0),
                        QStringLiteral("<= 1.3x"), ratio <= 1.3};
    const double peak = double(rssPeak - rssBefore) / 1024.0;
    m_figures << Figure{QStringLiteral("4b resident memory added by the report at its peak"),
                        QStringLiteral("%1 MB").arg(peak, 0, 'f', 1), QStringLiteral("<= 50 MB"), peak <= 50.0};
    m_figures << Figure{QStringLiteral("4c largest gap of a 10 ms timer during reports"),
                        QStringLiteral("%1 ms, burst of %2 notifications handled whole").arg(ms(gap), 0, 'f', 1).arg(m_o.burst),
                        QStringLiteral("<= 100 ms"), gap <= 100'000'000};
    m_notes << QStringLiteral("report: station %1; bare fetch %2; bare write %3; file %4 MB")
                   .arg(station.describe(), fetch.describe(), write.describe())
                   .arg(double(fileSize) / 1048576.0, 0, 'f', 1);
}

QString Bench::listFigure(const Samples &station, const Samples &bare) const
{
    return QStringLiteral("%1x (%2 / %3 ms; first load %4 ms)")
        .arg(double(station.best()) / double(bare.best()), 0, 'f', 2)
        .arg(ms(station.best()), 0, 'f', 1)
        .arg(ms(bare.best()), 0, 'f', 1)
        .arg(ms(station.first()), 0, 'f', 1);
}

// Typing into the list's search field with the big list listed: each
// keystroke from the text changing until the view has painted what it
// shows, and clearing it again. The search texts are read before, once, as
// the first keystroke after a refill does.
void Bench::measureSearch()
{
    ObjectList &objects = m_form->objects();
    QLineEdit *edit = objects.SearchEdit;
    QWidget *viewport = objects.OTable->viewport();
    if (!objects.OTable->isVisible())
        fatal(QStringLiteral("search: the object list is not shown"));

    struct PaintWatch final : QObject
    {
        bool painted = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                painted = true;
            return false;
        }
    } watch;
    viewport->installEventFilter(&watch);
    // The text is set, the view lays out and paints: the time until the
    // event loop has delivered that paint.
    const auto setText = [&](const QString &text) {
        // A blank typed after a word searches for the same: nothing to paint.
        const bool same = ObjectFilterModel::searchKey(text) == ObjectFilterModel::searchKey(edit->text());
        watch.painted = false;
        const qint64 t0 = nowNs();
        edit->setText(text);
        if (same)
            return nowNs() - t0;
        while (!watch.painted && nowNs() - t0 < 5'000'000'000)
            QCoreApplication::processEvents();
        if (!watch.painted)
            fatal(QStringLiteral("search: the view did not paint after %1").arg(text));
        return nowNs() - t0;
    };

    edit->clear();
    settle(400);
    const qint64 t0 = nowNs();
    edit->setText(QStringLiteral("x"));
    const qint64 textsNs = nowNs() - t0;
    edit->clear();
    settle(400);

    // An address typed out, then the end of an IMEI.
    const QString address = QStringLiteral("Тверская, д. 123");
    const QString imei = BenchData::imei(m_o.bigObjects / 2).right(6);
    std::vector<Samples> keys(size_t(address.size() + imei.size()));
    Samples clearing;
    for (int r = 0; r < m_o.reps; ++r) {
        for (const QString &typed : {address, imei}) {
            const size_t first = typed == address ? 0 : size_t(address.size());
            for (qsizetype n = 1; n <= typed.size(); ++n) {
                keys[first + size_t(n) - 1].add(setText(typed.left(n)));
                settle(20);
            }
            clearing.add(setText(QString()));
            settle(400);
        }
    }

    // Checked: what the address finds is what the database holds, in the
    // list's order.
    edit->setText(address);
    const QList<QStringList> count = m_root.rows(
        "SELECT COUNT(*) FROM orvex_base.objects WHERE Address LIKE '%Тверская, д. 123%'");
    const QAbstractItemModel *shown = objects.OTable->model();
    if (count.isEmpty() || shown->rowCount() != count.first().first().toInt())
        fatal(QStringLiteral("search: %1 shown for \"%2\", the database holds %3")
                  .arg(shown->rowCount())
                  .arg(address, count.isEmpty() ? QStringLiteral("?") : count.first().first()));
    for (int row = 1; row < shown->rowCount(); ++row) {
        if (StateModel::Compare_States(shown->index(row - 1, 0).data(ObjectListModel::StateCodeRole).toInt(),
                                       shown->index(row, 0).data(ObjectListModel::StateCodeRole).toInt())
            > 0)
            fatal(QStringLiteral("search: not in the list's order at row %1").arg(row));
    }
    edit->clear();
    viewport->removeEventFilter(&watch);
    settle(400);

    qint64 worst = 0;
    size_t worstAt = 0;
    std::vector<qint64> bests;
    for (size_t k = 0; k < keys.size(); ++k) {
        bests.push_back(keys[k].best());
        if (keys[k].best() > worst) {
            worst = keys[k].best();
            worstAt = k;
        }
    }
    std::sort(bests.begin(), bests.end());
    m_figures << Figure{QStringLiteral("6a search keystroke at %1 objects, the slowest").arg(m_o.bigObjects),
                        QStringLiteral("%1 ms (\"%2\")")
                            .arg(ms(worst), 0, 'f', 1)
                            .arg(worstAt < size_t(address.size()) ? address.left(qsizetype(worstAt) + 1)
                                                                  : imei.left(qsizetype(worstAt) - address.size() + 1)),
                        QStringLiteral("<= 25 ms"), worst <= 25'000'000};
    m_figures << Figure{QStringLiteral("6b search cleared at %1 objects").arg(m_o.bigObjects),
                        QStringLiteral("%1 ms").arg(ms(clearing.best()), 0, 'f', 1), QStringLiteral("<= 25 ms"),
                        clearing.best() <= 25'000'000};
    m_notes << QStringLiteral("search: texts read once for %1 objects %2 ms; keystrokes (\"%3\" then \"%4\", best of %5 "
                              "each): median %6 ms, slowest %7 ms; cleared: %8")
                   .arg(m_o.bigObjects)
                   .arg(ms(textsNs), 0, 'f', 1)
                   .arg(address, imei)
                   .arg(m_o.reps)
                   .arg(ms(bests[bests.size() / 2]), 0, 'f', 2)
                   .arg(ms(worst), 0, 'f', 2)
                   .arg(clearing.describe());
}

int Bench::run()
{
    prepareDatabase();
    startStation();
    if (m_form->objects().model()->rowCount() != m_o.objects)
        fatal(QStringLiteral("after login the list has %1 entries").arg(m_form->objects().model()->rowCount()));

    measureList(m_o.objects, &m_list10Station, &m_list10Bare);
    const double ratio10 = double(m_list10Station.best()) / double(m_list10Bare.best());
    m_figures << Figure{QStringLiteral("1a list of %1 objects / bare fetch").arg(m_o.objects),
                        listFigure(m_list10Station, m_list10Bare), QStringLiteral("<= 3x"), ratio10 <= 3.0};

    if (m_o.wants("notifications"))
        measureNotifications();

    for (const QByteArray &sql : BenchData::objects(m_o.objects, m_o.bigObjects)) {
        if (!m_root.exec(sql))
            fatal(QStringLiteral("inserting objects failed: %1").arg(m_root.error()));
    }
    settleDatabase(QStringLiteral("list %1").arg(m_o.bigObjects));
    // The burst changed states in the list only; the stored ones stand.
    measureList(m_o.bigObjects, &m_list100Station, &m_list100Bare);
    const double growth = double(m_list100Station.best()) / double(m_list10Station.best());
    m_figures << Figure{QStringLiteral("1b list of %1 / list of %2").arg(m_o.bigObjects).arg(m_o.objects),
                        QStringLiteral("%1x (%2 / %3 ms; first loads %4 / %5 ms)")
                            .arg(growth, 0, 'f', 2)
                            .arg(ms(m_list100Station.best()), 0, 'f', 1)
                            .arg(ms(m_list10Station.best()), 0, 'f', 1)
                            .arg(ms(m_list100Station.first()), 0, 'f', 1)
                            .arg(ms(m_list10Station.first()), 0, 'f', 1),
                        QStringLiteral("<= 12x"), growth <= 12.0};
    m_notes << QStringLiteral("list %1: station %2; bare %3").arg(m_o.objects).arg(m_list10Station.describe(), m_list10Bare.describe());
    m_notes << QStringLiteral("list %1: station %2; bare %3 (ratio %4x)")
                   .arg(m_o.bigObjects)
                   .arg(m_list100Station.describe(), m_list100Bare.describe())
                   .arg(double(m_list100Station.best()) / double(m_list100Bare.best()), 0, 'f', 2);

    if (m_o.wants("notifications"))
        measureBigNotifications();
    if (m_o.wants("search"))
        measureSearch();
    if (m_o.wants("journal"))
        measureJournal();
    // The report's rows are the older part of the long journal.
    if (m_o.wants("report") || m_o.wants("long-journal"))
        measureReport();
    if (m_o.wants("long-journal"))
        measureLongJournal();
    if (m_o.wants("lists"))
        measureHugeList();

    m_station.reset();
    m_peer.reset();
    print();
    return std::all_of(m_figures.cbegin(), m_figures.cend(), [](const Figure &f) { return f.pass; }) ? 0 : 1;
}

void Bench::measureHugeList()
{
    if (m_o.hugeObjects <= m_o.bigObjects)
        return;
    const qint64 t0 = nowNs();
    for (const QByteArray &sql : BenchData::objects(m_o.bigObjects, m_o.hugeObjects)) {
        if (!m_root.exec(sql))
            fatal(QStringLiteral("inserting objects failed: %1").arg(m_root.error()));
    }
    m_notes << QStringLiteral("list %1: %2 objects more inserted in %3 s")
                   .arg(m_o.hugeObjects)
                   .arg(m_o.hugeObjects - m_o.bigObjects)
                   .arg(double(nowNs() - t0) / 1e9, 0, 'f', 1);
    settleDatabase(QStringLiteral("list %1").arg(m_o.hugeObjects));
    measureList(m_o.hugeObjects, &m_list400Station, &m_list400Bare);
    const double growth = double(m_list400Station.best()) / double(m_list100Station.best());
    const auto nLogN = [](double n) { return n * std::log2(n); };
    const double expected = nLogN(m_o.hugeObjects) / nLogN(m_o.bigObjects);
    // Room for what grows with the memory touched (caches), not with the
    // work: a quarter above n log n.
    const double limit = 1.25 * expected;
    m_figures << Figure{QStringLiteral("1c list of %1 / list of %2").arg(m_o.hugeObjects).arg(m_o.bigObjects),
                        QStringLiteral("%1x (%2 / %3 ms; first load %4 ms); n log n gives %5x, bare fetch %6x")
                            .arg(growth, 0, 'f', 2)
                            .arg(ms(m_list400Station.best()), 0, 'f', 1)
                            .arg(ms(m_list100Station.best()), 0, 'f', 1)
                            .arg(ms(m_list400Station.first()), 0, 'f', 1)
                            .arg(expected, 0, 'f', 2)
                            .arg(double(m_list400Bare.best()) / double(m_list100Bare.best()), 0, 'f', 2),
                        QStringLiteral("<= %1x").arg(limit, 0, 'f', 2), growth <= limit};
    m_notes << QStringLiteral("list %1: station %2; bare %3 (ratio %4x)")
                   .arg(m_o.hugeObjects)
                   .arg(m_list400Station.describe(), m_list400Bare.describe())
                   .arg(double(m_list400Station.best()) / double(m_list400Bare.best()), 0, 'f', 2);
}

void Bench::measureLongJournal()
{
    // The journal grows to years' worth with rows older than all others, so
    // that the last day stays what it was; one object in twenty rows is a
    // busy one, whose day in that stretch is the object's journal measured.
    const int more = m_o.longJournal - std::max(m_o.reportRows, m_o.messages);
    const QDateTime oldest = m_journalStart.addSecs(-1 - qint64(std::max(0, m_o.reportRows - m_o.messages)));
    const QString busy = BenchData::imei(7);
    if (more <= 0) {
        m_notes << QStringLiteral("long journal: not measured (--long-journal not above --report-rows)");
        return;
    }
    {
        const qint64 t0 = nowNs();
        const QString sql = QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) "
            "SELECT IF(seq MOD 20 = 0,'%1',CONCAT('35693803',LPAD(seq MOD %2,7,'0'))),'%3' - INTERVAL seq SECOND,"
            "ELT(1 + seq MOD 4,'Тревога','Событие','Охрана','Команда'),"
            "ELT(1 + seq MOD 5,'Сработал датчик удара','Взят под охрану','Снят с охраны','Кадр с камеры',"
            "'Тревога принята в обработку'),"
            "ELT(1 + seq MOD 5,'Центр','Север','Юг','Запад','Восток'),ELT(1 + seq MOD 3,'','Bench','Оператор') "
            "FROM orvex_base.seq_1_to_%4")
                                .arg(busy)
                                .arg(m_o.objects)
                                .arg(oldest.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                .arg(more);
        if (!m_root.exec(sql.toUtf8()))
            fatal(QStringLiteral("inserting journal rows failed: %1").arg(m_root.error()));
        m_notes << QStringLiteral("long journal: %1 rows more inserted in %2 s").arg(more).arg(double(nowNs() - t0) / 1e9, 0, 'f', 1);
    }
    const QList<QStringList> total = m_root.rows("SELECT COUNT(*) FROM orvex_base.messages");
    const qint64 rowsInTable = total.isEmpty() ? -1 : total.first().value(0).toLongLong();
    if (rowsInTable != qMax<qint64>(m_o.longJournal, m_o.reportRows))
        fatal(QStringLiteral("messages holds %1 rows").arg(rowsInTable));

    GroupChoice choice;
    choice.text = m_form->ComboBox1->currentText();
    for (int i = 0; i < m_form->ComboBox1->count(); ++i)
        choice.items << m_form->ComboBox1->itemText(i);
    const bool fullRights = m_station->state().Full_rights;
    Journal &journal = m_form->journal();

    struct Case
    {
        QString name;
        QString key;
        QDateTime start;
        std::optional<QDateTime> end;
    };
    // A whole day three days into the older rows, as the pickers set it.
    const QDateTime dayStart(oldest.date().addDays(-3), QTime(0, 0));
    const QDateTime now = QDateTime::currentDateTime();
    const QList<Case> cases = {
        {QStringLiteral("5a journal of one object for a day"), busy, dayStart, dayStart.addDays(1)},
        {QStringLiteral("5b \"Все\" journal of the last 24 hours"), AllKey, now.addDays(-1), std::nullopt},
    };
    for (const Case &c : cases) {
        const QString startText = c.start.toString(Journal::DateFormat);
        const std::optional<QString> endText =
            c.end ? std::optional<QString>(c.end->toString(Journal::DateFormat)) : std::nullopt;
        const QByteArray sql = JournalSql::loadMessages(SqlEscaper(), c.key, choice, fullRights, startText, endText).toUtf8();
        QStringList plan;
        for (const QStringList &row : m_bare.rows("EXPLAIN " + sql))
            plan << row.join(QStringLiteral(" | "));
        if (plan.isEmpty())
            fatal(QStringLiteral("EXPLAIN failed: %1").arg(m_bare.error()));
        // The same rows alone in a table of their own: what fetching them
        // costs when nothing has to be looked for.
        if (!m_root.exec("DROP TABLE IF EXISTS orvex_base.bench_rows")
            || !m_root.exec("CREATE TABLE orvex_base.bench_rows ENGINE=InnoDB AS " + sql))
            fatal(QStringLiteral("copying the rows failed: %1").arg(m_root.error()));
        const QByteArray alone = "SELECT IMEI,Date,Type,Event,User FROM orvex_base.bench_rows";
        const qint64 expected = m_bare.fetchAll(alone);
        if (expected <= 0)
            fatal(QStringLiteral("%1: %2 rows").arg(c.name).arg(expected));

        m_form->session().setPeriod(c.start, c.end.value_or(now.addSecs(3600)), false);
        Samples station;
        Samples bareAlone;
        Samples bareSame;
        const auto load = [&] {
            const qint64 t0 = nowNs();
            journal.Load_Messages(c.key, c.end.has_value());
            station.add(nowNs() - t0);
            if (journal.model()->rowCount() != expected)
                fatal(QStringLiteral("%1: the journal shows %2 rows instead of %3").arg(c.name).arg(journal.model()->rowCount()).arg(expected));
            settle(100);
        };
        load(); // the first, cold
        for (int r = 0; r < m_o.reps; ++r) {
            qint64 t0 = nowNs();
            if (m_bare.fetchAll(alone) != expected)
                fatal(QStringLiteral("bare fetch failed: %1").arg(m_bare.error()));
            bareAlone.add(nowNs() - t0);
            t0 = nowNs();
            if (m_bare.fetchAll(sql) != expected)
                fatal(QStringLiteral("bare fetch failed: %1").arg(m_bare.error()));
            bareSame.add(nowNs() - t0);
            load();
        }
        m_root.exec("DROP TABLE IF EXISTS orvex_base.bench_rows");
        // The plan must go by an index (a range or a key), never scan the table.
        const QList<QStringList> planRows = m_bare.rows("EXPLAIN " + sql);
        const QString access = planRows.size() == 1 ? planRows.first().value(3) : QString();
        const QString key = planRows.size() == 1 ? planRows.first().value(5) : QString();
        const bool indexed = !key.isEmpty() && (access == QLatin1String("range") || access == QLatin1String("ref"));
        const double ratio = double(station.best()) / double(bareSame.best());
        m_figures << Figure{QStringLiteral("%1 among %2 rows / bare fetch").arg(c.name).arg(rowsInTable),
                            QStringLiteral("%1x (%2 / %3 ms, %4 rows; first load %5 ms); plan: %6 on %7; "
                                           "over the rows alone in a table %8x (%9 ms)")
                                .arg(ratio, 0, 'f', 2)
                                .arg(ms(station.best()), 0, 'f', 2)
                                .arg(ms(bareSame.best()), 0, 'f', 2)
                                .arg(expected)
                                .arg(ms(station.first()), 0, 'f', 1)
                                .arg(access.isEmpty() ? QStringLiteral("?") : access, key.isEmpty() ? QStringLiteral("no index") : key)
                                .arg(double(station.best()) / double(bareAlone.best()), 0, 'f', 2)
                                .arg(ms(bareAlone.best()), 0, 'f', 2),
                            QStringLiteral("<= 3x, by an index"), ratio <= 3.0 && indexed};
        m_notes << QStringLiteral("%1: station %2; bare fetch of the rows alone %3; bare fetch of the statement %4")
                       .arg(c.name, station.describe(), bareAlone.describe(), bareSame.describe());
        m_notes << QStringLiteral("%1: statement: %2").arg(c.name, QString::fromUtf8(sql));
        for (const QString &line : std::as_const(plan))
            m_notes << QStringLiteral("%1: plan: %2").arg(c.name, line);
    }
}

void Bench::print()
{
    int nameWidth = 6;
    int measuredWidth = 8;
    int targetWidth = 6;
    for (const Figure &f : std::as_const(m_figures)) {
        nameWidth = std::max(nameWidth, int(f.name.size()));
        measuredWidth = std::max(measuredWidth, int(f.measured.size()));
        targetWidth = std::max(targetWidth, int(f.target.size()));
    }
    QTextStream &o = out();
    o << "\nORVEX station bench, " << QDateTime::currentDateTime().toString(Qt::ISODate) << ", "
      << QThread::idealThreadCount() << " cores, " << cpuModel() << ", MariaDB " << m_root.serverVersion() << "\n";
    o << "Times are the best of several repetitions, interleaved with the bare fetch.\n\n";
    const auto line = [&](const QString &a, const QString &b, const QString &c, const QString &d) {
        o << a.leftJustified(nameWidth) << " | " << b.leftJustified(measuredWidth) << " | " << c.leftJustified(targetWidth)
          << " | " << d << "\n";
    };
    line(QStringLiteral("figure"), QStringLiteral("measured"), QStringLiteral("target"), QStringLiteral("result"));
    o << QString(nameWidth + measuredWidth + targetWidth + 17, QLatin1Char('-')) << "\n";
    for (const Figure &f : std::as_const(m_figures))
        line(f.name, f.measured, f.target, f.pass ? QStringLiteral("pass") : QStringLiteral("FAIL"));
    o << "\n";
    for (const QString &note : std::as_const(m_notes))
        o << "  " << note << "\n";
    o.flush();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The ORVEX station's list, notification and journal figures"));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("MariaDB port on 127.0.0.1 (root, no password)"),
                                  QStringLiteral("port"));
    const QCommandLineOption schema(QStringLiteral("schema"), QStringLiteral("src/admin/schema.sql"), QStringLiteral("file"));
    const QCommandLineOption objects(QStringLiteral("objects"), QStringLiteral("objects of the small list"),
                                     QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption big(QStringLiteral("big-objects"), QStringLiteral("objects of the big list"),
                                 QStringLiteral("n"), QStringLiteral("100000"));
    const QCommandLineOption burst(QStringLiteral("burst"), QStringLiteral("notifications in the burst"),
                                   QStringLiteral("n"), QStringLiteral("5000"));
    const QCommandLineOption messages(QStringLiteral("messages"), QStringLiteral("journal rows"), QStringLiteral("n"),
                                      QStringLiteral("100000"));
    const QCommandLineOption reps(QStringLiteral("reps"), QStringLiteral("repetitions of the big list and the journal, twice that of the small list"),
                                  QStringLiteral("n"), QStringLiteral("7"));
    const QCommandLineOption reportRows(QStringLiteral("report-rows"), QStringLiteral("journal rows of the report"),
                                        QStringLiteral("n"), QStringLiteral("1000000"));
    const QCommandLineOption reportReps(QStringLiteral("report-reps"), QStringLiteral("repetitions of the report"),
                                        QStringLiteral("n"), QStringLiteral("3"));
    const QCommandLineOption huge(QStringLiteral("huge-objects"), QStringLiteral("objects of the biggest list (0: none)"),
                                  QStringLiteral("n"), QStringLiteral("400000"));
    const QCommandLineOption longJournal(QStringLiteral("long-journal"), QStringLiteral("journal rows of the long journal"),
                                         QStringLiteral("n"), QStringLiteral("2000000"));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("only these groups of figures, besides the list loads 1a and 1b: "
                                                 "lists, notifications, search, journal, report, long-journal (comma-separated)"),
                                  QStringLiteral("groups"));
    parser.addOptions({port, schema, objects, big, burst, messages, reps, reportRows, reportReps, huge, longJournal, only});
    parser.process(app);

    Bench::Options o;
    o.port = parser.value(port).toUShort();
    o.schema = parser.value(schema);
    o.objects = parser.value(objects).toInt();
    o.bigObjects = parser.value(big).toInt();
    o.burst = parser.value(burst).toInt();
    o.messages = parser.value(messages).toInt();
    o.reps = std::max(1, parser.value(reps).toInt());
    o.reportRows = parser.value(reportRows).toInt();
    o.reportReps = std::max(1, parser.value(reportReps).toInt());
    o.hugeObjects = parser.value(huge).toInt();
    o.longJournal = parser.value(longJournal).toInt();
    if (parser.isSet(only))
        o.only = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (o.port == 0 || o.schema.isEmpty() || o.objects < 1 || o.bigObjects < o.objects || o.burst < 1 || o.messages < 1
        || o.reportRows < o.messages)
        fatal(QStringLiteral("usage: orvex-bench --port PORT --schema src/admin/schema.sql [options]; see --help"));
    return Bench(o).run();
}
