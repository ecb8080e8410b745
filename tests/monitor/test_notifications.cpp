#include "Database.h"
#include "ListStation.h"
#include "ObjectList.h"
#include "ObjectListModel.h"
#include "RecordingDialogs.h"
#include "RecordingSoundPlayer.h"
#include "ServerLink.h"
#include "SoundPlayer.h"
#include "StateReports.h"
#include "StationState.h"
#include "TcpPeer.h"
#include "TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QPixmap>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtEndian>

#include <memory>

namespace {

const QString Imei1 = QStringLiteral("356938035643801"); // Центр, armed, Ohrana 1
const QString Imei2 = QStringLiteral("356938035643802"); // Центр, disarmed, Ohrana 0
const QString Imei3 = QStringLiteral("356938035643803"); // Север, not connected
const QString Unlisted = QStringLiteral("356938035643899");

struct Rig : ListStation
{
    StateReports *reports = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QList<QIcon> ImageList2;
    QStringList refreshed;

    RecordingSoundPlayer &player() { return s.sounds; }

    // Logged in as an administrator with the list filled for "Все".
    bool logIn()
    {
        if (!logInAs(LoggedInStation::Operator::named(QStringLiteral("Pilot"), QStringLiteral("Pilot"), true,
                                                      {QStringLiteral("Центр"), QStringLiteral("Север")})))
            return false;
        TForm1 &main = s.main();
        reports = &main.reports();
        SpeedButton1 = main.SpeedButton1;
        ImageList2 = main.ImageList2;
        QObject::connect(reports, &StateReports::messagesRefreshRequested, [this](const QString &key) { refreshed << key; });
        return true;
    }

    QStringList states() const
    {
        QStringList out;
        for (int row = 0; row < model()->rowCount(); ++row)
            out << model()->entry(row).state;
        return out;
    }

    const ObjectListModel::Entry &entry(const QString &imei) const { return model()->entry(model()->findFirst(imei)); }

    QString sound(const QString &name) const { return s.fixture.dir.filePath(name + QStringLiteral(".wav")); }

    void select(const QString &imei) const
    {
        OTable->selectionModel()->select(list->viewIndex(model()->findFirst(imei)), QItemSelectionModel::ClearAndSelect);
    }
};

QByteArray statePacket(const QString &imei, int code)
{
    return QByteArray(1, char(20)) + imei.toLatin1() + char(code);
}

// Format, channels, sample rate, bits and the length in seconds of a .wav file.
struct WaveInfo
{
    int format = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    double seconds = 0;
};

WaveInfo readWave(const QString &path)
{
    WaveInfo info;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return info;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return info;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
        const char *body = bytes.constData() + at + 8;
        if (id == "fmt " && size >= 16) {
            info.format = qFromLittleEndian<quint16>(body);
            info.channels = qFromLittleEndian<quint16>(body + 2);
            info.rate = int(qFromLittleEndian<quint32>(body + 4));
            info.bits = qFromLittleEndian<quint16>(body + 14);
        } else if (id == "data" && info.rate > 0 && info.channels > 0 && info.bits > 0) {
            info.seconds = double(size) / (info.rate * info.channels * info.bits / 8);
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return info;
}

} // namespace

class TestNotifications final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Rig> m;

private slots:
    void init()
    {
        QString error;
        QVERIFY2(TestDatabase::seed(
                     QStringLiteral(
                         "INSERT INTO orvex_base.objects(IMEI,Name,Group_,State,Ohrana) VALUES "
                         "('356938035643801','NCR','Центр',2,1),"
                         "('356938035643802','Wincor','Центр',1,0),"
                         "('356938035643803','Diebold','Север',0,0)"),
                     &error),
                 qPrintable(error));
        m = std::make_unique<Rig>();
        QVERIFY(m->logIn());
        QCOMPARE(m->captions(), (QStringList{Imei1, Imei2, Imei3}));
    }

    void cleanup() { m.reset(); }

    void notificationForAListedObject()
    {
        QSignalSpy guard(m->list, &ObjectList::guardStateShown);
        m->reports->On_State_Report(Imei3, 101);
        QCOMPARE(m->captions(), (QStringList{Imei3, Imei1, Imei2}));
        QCOMPARE(m->entry(Imei3).state, QStringLiteral("101"));
        QCOMPARE(m->entry(Imei3).image, 3);
        QCOMPARE(m->player().played, QStringList{m->sound(QStringLiteral("alarm"))});
        // Nothing selected: the whole group choice's journal is topped up.
        QCOMPARE(m->refreshed, QStringList{AllKey});
        QCOMPARE(guard.size(), 1);
        QCOMPARE(guard.at(0).at(0).value<quint8>(), quint8(101));
        QCOMPARE(guard.at(0).at(1).toString(), Imei3);
        // Neither stored nor answered.
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='356938035643803'")),
                 QStringLiteral("0"));
        QCOMPARE(m->peer().received(), QByteArray());
    }

    void soundOfEachState_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("sound");
        QTest::newRow("112 battery") << 112 << QStringLiteral("battery_fault");
        QTest::newRow("0 disconnect") << 0 << QStringLiteral("disconnect");
        QTest::newRow("1 disarm") << 1 << QStringLiteral("disarm");
        QTest::newRow("2 arm") << 2 << QStringLiteral("arm");
        QTest::newRow("255 alarm") << 255 << QStringLiteral("alarm");
        QTest::newRow("90 silent") << 90 << QString();
        QTest::newRow("50 silent") << 50 << QString();
    }

    void soundOfEachState()
    {
        QFETCH(int, code);
        QFETCH(QString, sound);
        m->reports->On_State_Report(Imei2, quint8(code));
        QCOMPARE(m->entry(Imei2).state, QString::number(code));
        QCOMPARE(m->player().played, sound.isEmpty() ? QStringList() : QStringList{m->sound(sound)});
    }

    void soundSwitch()
    {
        QVERIFY(m->state().Sound_on);
        m->SpeedButton1->click();
        QVERIFY(!m->state().Sound_on);
        QCOMPARE(m->SpeedButton1->toolTip(), QStringLiteral("Звуковое оповещение выключено"));
        QCOMPARE(m->SpeedButton1->icon().cacheKey(), m->ImageList2.at(2).cacheKey());

        // Silent, but the list follows all the same.
        m->reports->On_State_Report(Imei3, 101);
        QCOMPARE(m->captions().first(), Imei3);
        QVERIFY(m->player().played.isEmpty());

        m->SpeedButton1->click();
        QVERIFY(m->state().Sound_on);
        QCOMPARE(m->SpeedButton1->toolTip(), QStringLiteral("Звуковое оповещение включено"));
        QCOMPARE(m->SpeedButton1->icon().cacheKey(), m->ImageList2.at(3).cacheKey());
        m->reports->On_State_Report(Imei3, 0);
        QCOMPARE(m->player().played, QStringList{m->sound(QStringLiteral("disconnect"))});
    }

    void notificationForAnUnlistedObject()
    {
        QSignalSpy layout(m->model(), &QAbstractItemModel::layoutChanged);
        QSignalSpy changed(m->model(), &QAbstractItemModel::dataChanged);
        m->reports->On_State_Report(Unlisted, 101);
        QCOMPARE(m->states(), (QStringList{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0")}));
        QCOMPARE(layout.size(), 0);
        QCOMPARE(changed.size(), 0);
        QVERIFY(m->refreshed.isEmpty());
        QVERIFY(m->player().played.isEmpty());
    }

    void onlyTheFirstOfTwoEntriesWithOneImei()
    {
        m->model()->setCaptions({Imei2, Imei1, Imei2});
        m->model()->setStates({{0, QStringLiteral("1")}, {1, QStringLiteral("2")}, {2, QStringLiteral("1")}});
        m->reports->On_State_Report(Imei2, 101);
        QCOMPARE(m->captions(), (QStringList{Imei2, Imei1, Imei2}));
        QCOMPARE(m->states(), (QStringList{QStringLiteral("101"), QStringLiteral("2"), QStringLiteral("1")}));
        // After the sort the first entry with the IMEI is again the one updated.
        m->reports->On_State_Report(Imei1, 115);
        m->reports->On_State_Report(Imei2, 0);
        QCOMPARE(m->captions(), (QStringList{Imei1, Imei2, Imei2}));
        QCOMPARE(m->states(), (QStringList{QStringLiteral("115"), QStringLiteral("1"), QStringLiteral("0")}));
    }

    void journalTopUpFollowsTheSelection()
    {
        // Keyed by what the journal shows, the selected object, not by the
        // object that notified.
        m->select(Imei1);
        m->reports->On_State_Report(Imei3, 2);
        QCOMPARE(m->refreshed, QStringList{Imei1});
        m->OTable->clearSelection();
        m->reports->On_State_Report(Imei3, 1);
        QCOMPARE(m->refreshed, (QStringList{Imei1, AllKey}));
    }

    void saveState()
    {
        m->select(Imei3);
        m->reports->Save_State(Imei3, 90);
        QCOMPARE(m->captions(), (QStringList{Imei3, Imei1, Imei2}));
        QCOMPARE(m->entry(Imei3).image, 4);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='356938035643803'")),
                 QStringLiteral("90"));
        QTRY_COMPARE(m->peer().received(), statePacket(Imei3, 90));
        QVERIFY(m->dialogs().messages.isEmpty());
        QCOMPARE(m->list->selectedRow(), 0);
        QVERIFY(m->player().played.isEmpty());

        // Not listed: the database and the server still get it.
        m->peer().clearReceived();
        QVERIFY(TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.objects(IMEI,State) VALUES ('356938035643899',0)")));
        m->reports->Save_State(Unlisted, 2);
        QCOMPARE(TestDatabase::value(QStringLiteral("SELECT State FROM orvex_base.objects WHERE IMEI='356938035643899'")),
                 QStringLiteral("2"));
        QTRY_COMPARE(m->peer().received(), statePacket(Unlisted, 2));
        QCOMPARE(m->captions().size(), 3);
    }

    void rejectedStateUpdateChangesNothing()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects DROP COLUMN State")));
        const QString before = m->entry(Imei2).state;
        m->peer().clearReceived();
        QVERIFY(!m->reports->Save_State(Imei2, 2));
        QCOMPARE(m->dialogs().messages.size(), 1);
        QVERIFY2(m->dialogs().messages.first().startsWith(QStringLiteral("Действие не сохранено")),
                 qPrintable(m->dialogs().messages.first()));
        QVERIFY2(m->dialogs().messages.first().contains(QStringLiteral("State")), qPrintable(m->dialogs().messages.first()));
        // Neither the list nor any other station hears of a change the
        // database does not hold: the next packet is the marker.
        QCOMPARE(m->entry(Imei2).state, before);
        m->s.station().link().Send_State(Imei3, 7);
        QTRY_COMPARE(m->peer().received(), statePacket(Imei3, 7));
    }

    void saveEvent()
    {
        QSignalSpy journal(m->reports, &StateReports::messagesRequested);
        m->state().Clock = QDateTime(QDate(2011, 9, 1), QTime(9, 5, 7, 990));
        m->reports->Save_Event(Imei3, QStringLiteral("Тревога принята в обработку"));
        m->reports->Save_Event(Imei1, QStringLiteral("Клиент O'Neil \\ ждёт"));
        QCOMPARE(TestDatabase::rows(QStringLiteral("SELECT IMEI,Date,Type,Event,Group_,User FROM orvex_base.messages")),
                 (QList<QStringList>{
                     {Imei3, QStringLiteral("2011-09-01 09:05:07"), QStringLiteral("Событие"),
                      QStringLiteral("Тревога принята в обработку"), QStringLiteral("Север"), QStringLiteral("Pilot")},
                     {Imei1, QStringLiteral("2011-09-01 09:05:07"), QStringLiteral("Событие"),
                      QStringLiteral("Клиент O'Neil \\ ждёт"), QStringLiteral("Центр"), QStringLiteral("Pilot")}}));
        // The journal switches to the object written about.
        QCOMPARE(journal.size(), 2);
        QCOMPARE(journal.at(0).at(0).toString(), Imei3);
        QCOMPARE(journal.at(1).at(0).toString(), Imei1);
        QVERIFY(m->dialogs().messages.isEmpty());

        // The row takes the object's group at the time of writing.
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Group_='Юг' WHERE IMEI='356938035643803'")));
        m->reports->Save_Event(Imei3, QStringLiteral("Обработана"));
        QCOMPARE(TestDatabase::value(
                     QStringLiteral("SELECT Group_ FROM orvex_base.messages WHERE Event='Обработана'")),
                 QStringLiteral("Юг"));
    }

    void saveEventEdgeCases()
    {
        // Before the first clock tick the row is dated now, not 0000-00-00.
        QVERIFY(!m->state().Clock.isValid());
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        m->reports->Save_Event(Imei1, QStringLiteral("первая секунда"));
        const QDateTime written = QDateTime::fromString(
            TestDatabase::value(QStringLiteral("SELECT Date FROM orvex_base.messages WHERE Event='первая секунда'")),
            QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(written >= before && written <= QDateTime::currentDateTime(), qPrintable(written.toString()));

        // An object whose row has gone is journaled without a group.
        m->state().Clock = QDateTime(QDate(2011, 9, 1), QTime(10, 0, 0));
        m->reports->Save_Event(Unlisted, QStringLiteral("Тревога обработана"));
        QCOMPARE(TestDatabase::rows(QStringLiteral(
                     "SELECT IMEI,Group_ FROM orvex_base.messages WHERE Event='Тревога обработана'")),
                 (QList<QStringList>{{Unlisted, QString()}}));
        QVERIFY(m->dialogs().messages.isEmpty());

        // A journal row that cannot be written is not lost in silence.
        QSignalSpy journal(m->reports, &StateReports::messagesRequested);
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.messages DROP COLUMN User")));
        m->reports->Save_Event(Imei2, QStringLiteral("Тревога обработана"));
        QCOMPARE(m->dialogs().messages.size(), 1);
        QVERIFY(m->dialogs().messages.first().startsWith(QStringLiteral("Ошибка при добавлении данных\n")));
        QVERIFY2(m->dialogs().messages.first().contains(QStringLiteral("User")), qPrintable(m->dialogs().messages.first()));
        QCOMPARE(journal.size(), 1);
        QCOMPARE(journal.at(0).at(0).toString(), Imei2);
    }

    void guardState()
    {
        QCOMPARE(m->reports->Get_Guard_State(Imei1), std::optional<int>(1));
        QCOMPARE(m->reports->Get_Guard_State(Imei2), std::optional<int>(0));
        // What cannot be read is not "disarmed".
        QCOMPARE(m->reports->Get_Guard_State(Unlisted), std::nullopt);
        m->state().Base_connected = false;
        QCOMPARE(m->reports->Get_Guard_State(Imei1), std::nullopt);
        m->state().Base_connected = true;
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects MODIFY Ohrana TINYINT UNSIGNED NULL")));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Ohrana=NULL WHERE IMEI='356938035643801'")));
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.objects SET Ohrana=7 WHERE IMEI='356938035643802'")));
        QCOMPARE(m->reports->Get_Guard_State(Imei1), std::nullopt);
        QCOMPARE(m->reports->Get_Guard_State(Imei2), std::nullopt);
        QVERIFY(TestDatabase::exec(QStringLiteral("ALTER TABLE orvex_base.objects DROP COLUMN Ohrana")));
        QCOMPARE(m->reports->Get_Guard_State(Imei2), std::nullopt);
        QVERIFY(m->dialogs().messages.isEmpty());
    }

    void shippedSounds_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"alarm", "battery_fault", "disconnect", "arm", "disarm"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void shippedSounds()
    {
        QFETCH(QString, name);
        const QString dir = qEnvironmentVariable("ORVEX_SOURCE_DIR") + QStringLiteral("/data/sounds/");
        const WaveInfo info = readWave(dir + name + QStringLiteral(".wav"));
        // What QSoundEffect decodes: 16-bit PCM.
        QCOMPARE(info.format, 1);
        QCOMPARE(info.channels, 1);
        QCOMPARE(info.bits, 16);
        QVERIFY(info.seconds > 0.2);
        QVERIFY(QFileInfo(dir + name + QStringLiteral(".wav")).size() < 100 * 1024);
        // The alarm is the longest of them.
        if (name != QStringLiteral("alarm"))
            QVERIFY(info.seconds < readWave(dir + QStringLiteral("alarm.wav")).seconds);

        // The real player returns at once, also for a file that is not there,
        // and plays the file it was asked for last, alone.
        QtSoundPlayer player;
        const QString path = dir + name + QStringLiteral(".wav");
        player.play(path);
        player.play(dir + QStringLiteral("missing.wav"));
        QCOMPARE(player.state(dir + QStringLiteral("missing.wav")), QtSoundPlayer::State::Unknown);
        player.play(path);
        QTRY_COMPARE(player.state(path), QtSoundPlayer::State::Started);
        const QString other = dir + (name == QStringLiteral("alarm") ? QStringLiteral("arm") : QStringLiteral("alarm"))
            + QStringLiteral(".wav");
        player.play(other);
        QTRY_COMPARE(player.state(other), QtSoundPlayer::State::Started);
        QVERIFY(player.state(path) != QtSoundPlayer::State::Started);
    }
};

QTEST_MAIN(TestNotifications)
#include "test_notifications.moc"
