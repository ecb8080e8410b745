#include "Database.h"
#include "DatabaseWatcher.h"
#include "MonitoringSession.h"
#include "ObjectList.h"
#include "OperatorRights.h"
#include "RecordingSoundPlayer.h"
#include "ServerLink.h"
#include "TestConnections.h"
#include "TForm1.h"
#include "FrameStore.h"
#include "Journal.h"
#include "JournalModel.h"
#include "JournalSql.h"
#include "JpegImage.h"
#include "ProfileFile.h"
#include "RecordingDialogs.h"
#include "StationState.h"
#include "Sql.h"
#include "TestDatabase.h"

#include <QBuffer>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

const QString ImeiA = QStringLiteral("356938035643809");
const QString ImeiB = QStringLiteral("356938035643810");
const QString FrameDate = QStringLiteral("2011-09-01 12:30:05");

// Four coloured quadrants, so that a decoder that mixes up channels or rows shows it.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixelColor(x, y, bottom ? (right ? Qt::white : Qt::blue) : (right ? Qt::green : Qt::red));
        }
    }
    return image;
}

QByteArray jpeg(const QImage &image, int quality = 90)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

// Qt writes no CMYK JPEG; libjpeg itself does, with the Adobe marker and the
// inverted values that go with it.
QByteArray cmykJpeg(int width, int height, const unsigned char inverted[4])
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> line(size_t(width) * 4);
    for (int x = 0; x < width; ++x)
        std::copy(inverted, inverted + 4, line.begin() + x * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

bool near(const QColor &actual, const QColor &expected)
{
    return qAbs(actual.red() - expected.red()) < 24 && qAbs(actual.green() - expected.green()) < 24
        && qAbs(actual.blue() - expected.blue()) < 24;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Made, and opened to the operators, as the frames' writer does.
bool addFrameTable(const QString &imei)
{
    return TestDatabase::exec(QStringLiteral("CREATE TABLE orvex_base.o_%1 (Date DATETIME NOT NULL, Event VARCHAR(64) NOT NULL DEFAULT '', "
                                             "Image MEDIUMBLOB NOT NULL, KEY (Date)) DEFAULT CHARSET=cp1251 COLLATE=cp1251_nopad_bin;"
                                             "GRANT SELECT ON orvex_base.o_%1 TO %2")
                                  .arg(imei, Sql::FramesRole));
}

bool addFrame(const QString &imei, const QString &date, const QString &event, const QByteArray &bytes)
{
    const QString image = bytes.isEmpty() ? QStringLiteral("''") : QStringLiteral("0x") + QString::fromLatin1(bytes.toHex());
    return TestDatabase::exec(QStringLiteral("INSERT INTO orvex_base.o_%1 (Date,Event,Image) VALUES ('%2','%3',%4)")
                                  .arg(imei, date, event, image));
}

StationState operatorOfG1(const QString &home, Dialogs *dialogs)
{
    StationState state;
    state.Home_dir = home;
    state.dialogs = dialogs;
    state.Login = QStringLiteral("oper");
    state.Password = QStringLiteral("secret");
    state.Base_address = QStringLiteral("127.0.0.1");
    state.Base_port = TestDatabase::port();
    return state;
}

// The main window with its parts (the object list, the journal under it, the
// right-hand column), not logged in: the database is connected by the test,
// under an operator of G1, and the server link stays idle.
struct FrameWindow
{
    QTemporaryDir home;
    RecordingDialogs dialogs;
    StationState state = operatorOfG1(home.path(), &dialogs);
    Database database{state};
    DatabaseWatcher watcher{state, database};
    ServerLink link{state};
    OperatorRights rights{state, database};
    RecordingSoundPlayer sounds;
    TForm1 main{state, database, watcher, link, rights, sounds};
    QWidget &window = main;
    QListView *OTable = main.objects().OTable;
    QTableView *StringGrid1 = main.journal().StringGrid1;
    QWidget *Panel4 = main.Panel4;
    QLabel *Image1 = main.frames().Image1;
    QLabel *Label11 = main.frames().Label11;
    FrameStore *frames = &main.frames();
    Journal *journal = &main.journal();

    FrameWindow()
    {
        window.resize(900, 600);
        main.session().setGroupChoice({AllGroups, {AllGroups, QStringLiteral("G1")}}, false);
    }

    // An alarm entry holds the column open, or no longer does.
    void setAlarmsOpen(bool open) { main.session().setAlarmsOpen(open); }

    // The window read its (missing) Config.ini at start: the test database is
    // named here.
    bool connect()
    {
        state.Base_address = QStringLiteral("127.0.0.1");
        state.Base_port = TestDatabase::port();
        return database.Connect_Base(QStringLiteral("orvex_base"));
    }
    QString file(const QString &name) const { return state.homeFile(name); }
    bool pictureShown() const { return !Image1->pixmap().isNull(); }

    int selectsRun() { return statementsRun(database); }
};

} // namespace

class TestFrames final : public QObject
{
    Q_OBJECT

private:
    QByteArray m_frame;

private slots:
    void initTestCase()
    {
        m_frame = jpeg(quadrants(64, 48));
        QVERIFY(m_frame.startsWith("\xff\xd8"));
    }

    void decodesColourGreyAndCmykFrames()
    {
        const QImage colour = JpegImage::fromData(m_frame);
        QCOMPARE(colour.size(), QSize(64, 48));
        QVERIFY(near(colour.pixelColor(16, 12), Qt::red));
        QVERIFY(near(colour.pixelColor(48, 12), Qt::green));
        QVERIFY(near(colour.pixelColor(16, 36), Qt::blue));
        QVERIFY(near(colour.pixelColor(48, 36), Qt::white));

        const QImage grey = JpegImage::fromData(jpeg(quadrants(64, 48).convertToFormat(QImage::Format_Grayscale8)));
        QCOMPARE(grey.size(), QSize(64, 48));
        const QColor pixel = grey.pixelColor(48, 36);
        QCOMPARE(pixel.red(), pixel.green());
        QCOMPARE(pixel.green(), pixel.blue());
        QVERIFY(pixel.red() > 230);

        // Magenta and yellow ink, no cyan or black, is red.
        const unsigned char red[4] = {255, 0, 0, 255};
        const QImage cmyk = JpegImage::fromData(cmykJpeg(16, 8, red));
        QCOMPARE(cmyk.size(), QSize(16, 8));
        QVERIFY2(near(cmyk.pixelColor(8, 4), Qt::red), qPrintable(cmyk.pixelColor(8, 4).name()));

        const QString path = QTemporaryDir().filePath(QStringLiteral("none.jpg"));
        QVERIFY(JpegImage::fromFile(path).isNull());
    }

    void damagedBytesGiveNoPicture()
    {
        QVERIFY(JpegImage::fromData(QByteArray()).isNull());
        QVERIFY(JpegImage::fromData(QByteArray("not a picture at all")).isNull());
        QVERIFY(JpegImage::fromData(QByteArray(1000, '\0')).isNull());

        // Every cut-off copy, down to the missing end marker.
        for (qsizetype length = 0; length < m_frame.size(); ++length)
            QVERIFY2(JpegImage::fromData(m_frame.left(length)).isNull(), qPrintable(QString::number(length)));

        // A header that claims a frame far too large to allocate.
        QByteArray huge = m_frame;
        const qsizetype sof = huge.indexOf(QByteArray("\xff\xc0", 2));
        QVERIFY(sof > 0);
        huge[sof + 5] = huge[sof + 7] = char(0xff);
        huge[sof + 6] = huge[sof + 8] = char(0xdc);
        QVERIFY(JpegImage::fromData(huge).isNull());

        // Flipped bits anywhere: a picture of the right size or none, never a crash.
        QRandomGenerator random(20110901);
        int decoded = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes = m_frame;
            const int flips = 1 + int(random.bounded(4));
            for (int f = 0; f < flips; ++f) {
                const auto at = qsizetype(random.bounded(quint32(bytes.size())));
                bytes[at] = char(bytes.at(at) ^ (1 << random.bounded(8)));
            }
            if (round % 7 == 0)
                bytes.truncate(qsizetype(random.bounded(quint32(bytes.size()))));
            const QImage image = JpegImage::fromData(bytes);
            if (image.isNull())
                continue;
            ++decoded;
            QCOMPARE(image.format(), QImage::Format_RGB888);
            QVERIFY(qint64(image.width()) * image.height() <= JpegImage::MaxPixels);
        }
        // Flips in the scan data still decode, so the loop did reach the pixels.
        QVERIFY(decoded > 0);
    }

    void frameStatements_data()
    {
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("frame") << ImeiA << FrameDate
                               << QStringLiteral("SELECT Image FROM orvex_base.o_356938035643809 WHERE Date='2011-09-01 12:30:05' AND Event='Кадр с камеры'");
        QTest::newRow("quote in the date") << ImeiA << QStringLiteral("x' OR '1'='1")
                                           << QStringLiteral("SELECT Image FROM orvex_base.o_356938035643809 WHERE Date='x\\' OR \\'1\\'=\\'1' AND Event='Кадр с камеры'");
        // An IMEI that is not all decimal digits names no table.
        QTest::newRow("empty") << QString() << FrameDate << QString();
        QTest::newRow("letter") << QStringLiteral("35693803564380a") << FrameDate << QString();
        QTest::newRow("statement") << QStringLiteral("1 UNION SELECT Pass FROM orvex_base.users") << FrameDate << QString();
        QTest::newRow("path") << QStringLiteral("../123") << FrameDate << QString();
        QTest::newRow("other digits") << QStringLiteral("١٢٣") << FrameDate << QString();
    }

    void frameStatements() const
    {
        QFETCH(QString, imei);
        QFETCH(QString, date);
        QFETCH(QString, expected);
        QCOMPARE(JournalSql::frame(SqlEscaper(), imei, date), expected);
    }

    void init()
    {
        if (!QByteArray(QTest::currentTestFunction()).startsWith("db"))
            return;
        QString error;
        QVERIFY2(TestDatabase::reset(&error), qPrintable(error));
        QVERIFY2(TestDatabase::addOperator(QStringLiteral("oper"), QStringLiteral("secret"), false, QString(), {QStringLiteral("G1")}, &error),
                 qPrintable(error));
        QVERIFY(addFrameTable(ImeiA));
        QVERIFY(addFrame(ImeiA, FrameDate, QStringLiteral("Кадр с камеры"), m_frame));
        QVERIFY(addFrame(ImeiA, QStringLiteral("2011-09-01 12:40:00"), QStringLiteral("Другое"), m_frame));
    }

    void dbFetchWritesTheFileAndShowsIt()
    {
        FrameWindow w;
        QVERIFY(w.connect());
        writeFile(w.file(ImeiA + QStringLiteral(".jpg")), QByteArray("an older frame"));
        w.frames->Image_From_Table(ImeiA, FrameDate);

        QCOMPARE(readFile(w.file(ImeiA + QStringLiteral(".jpg"))), m_frame);
        QCOMPARE(w.Label11->text(), FrameDate);
        QCOMPARE(ProfileFile(w.file(QStringLiteral("Images.txt"))).readString(QStringLiteral("Images"), ImeiA, QString()), FrameDate);
        QVERIFY(readFile(w.file(QStringLiteral("Images.txt"))).contains((QStringLiteral("[Images]\n") + ImeiA + QLatin1Char('=') + FrameDate).toLatin1()));
        QCOMPARE(w.frames->picture().size(), QSize(64, 48));
        QVERIFY(w.pictureShown());
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
        QCOMPARE(w.frames->Load_Image_Time(ImeiA), FrameDate);
        QCOMPARE(w.dialogs.messages, QStringList());
    }

    void dbFetchThatFindsNothing_data()
    {
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("date");
        QTest::newRow("no frame at that time") << ImeiA << QStringLiteral("2011-09-01 12:30:06");
        QTest::newRow("not a camera frame") << ImeiA << QStringLiteral("2011-09-01 12:40:00");
        QTest::newRow("no frame table") << ImeiB << FrameDate;
    }

    void dbFetchThatFindsNothing()
    {
        QFETCH(QString, imei);
        QFETCH(QString, date);
        FrameWindow w;
        QVERIFY(w.connect());
        const QString path = w.file(imei + QStringLiteral(".jpg"));
        writeFile(path, m_frame);
        w.Label11->setText(QStringLiteral("before"));
        w.frames->Image_From_Table(imei, date);
        // The old frame is gone and nothing stands in its place.
        QVERIFY(!QFile::exists(path));
        QCOMPARE(w.Label11->text(), QStringLiteral("before"));
        QVERIFY(!w.pictureShown());
        QVERIFY(!QFile::exists(w.file(QStringLiteral("Images.txt"))));
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnClosedWidth);
        QCOMPARE(w.dialogs.messages, QStringList());
    }

    void dbImeiThatIsNoNumberSendsNothing()
    {
        FrameWindow w;
        QVERIFY(w.connect());
        const int before = w.selectsRun();
        QVERIFY(before >= 0);
        writeFile(w.file(QStringLiteral("abc.jpg")), m_frame);
        QVERIFY(QDir(w.home.path()).mkdir(QStringLiteral("sub")));
        w.state.Home_dir = w.home.filePath(QStringLiteral("sub"));
        w.frames->Image_From_Table(QStringLiteral("../abc"), FrameDate);
        w.state.Home_dir = w.home.path();
        w.frames->Image_From_Table(QStringLiteral("abc"), FrameDate);
        w.frames->Image_From_Table(QString(), FrameDate);
        QCOMPARE(w.selectsRun(), before);
        QCOMPARE(readFile(w.file(QStringLiteral("abc.jpg"))), m_frame);

        // Nor does a station without its database, which keeps the old frame.
        writeFile(w.file(ImeiA + QStringLiteral(".jpg")), m_frame);
        w.state.Base_connected = false;
        w.frames->Image_From_Table(ImeiA, FrameDate);
        w.state.Base_connected = true;
        QCOMPARE(w.selectsRun(), before);
        QVERIFY(QFile::exists(w.file(ImeiA + QStringLiteral(".jpg"))));
        QVERIFY(!w.pictureShown());

        // The count does see a fetch.
        w.frames->Image_From_Table(ImeiA, FrameDate);
        QCOMPARE(w.selectsRun(), before + 1);
    }

    void dbDamagedFrameShowsAnEmptyPicture()
    {
        FrameWindow w;
        QVERIFY(w.connect());
        const QByteArray damaged = m_frame.left(m_frame.size() / 2);
        QVERIFY(TestDatabase::exec(QStringLiteral("UPDATE orvex_base.o_%1 SET Image=0x%2").arg(ImeiA, QString::fromLatin1(damaged.toHex()))));
        w.frames->Image_From_Table(ImeiA, FrameDate);
        QCOMPARE(readFile(w.file(ImeiA + QStringLiteral(".jpg"))), damaged);
        QCOMPARE(w.Label11->text(), FrameDate);
        QVERIFY(w.frames->picture().isNull());
        QVERIFY(!w.pictureShown());
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
    }

    void dbGroupJournalFetchesTheFrameOfTheRowsObject()
    {
        QVERIFY(TestDatabase::exec(QStringLiteral(
            "INSERT INTO orvex_base.messages(IMEI,Date,Type,Event,Group_,User) VALUES "
            "('%1','2011-09-01 12:00:00','Тревога','Открыт сейф','G1',''),"
            "('%2','2011-09-01 12:30:05','Событие','Кадр с камеры','G1','')").arg(ImeiB, ImeiA)));
        FrameWindow w;
        QVERIFY(w.connect());
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.state.Selected_IMEI = ImeiB;
        w.journal->Load_Messages(AllKey, false);
        QCOMPARE(w.StringGrid1->model()->rowCount(), 2);
        QCOMPARE(w.StringGrid1->model()->index(0, JournalModel::ImeiColumn).data().toString(), ImeiA);

        const QModelIndex frameRow = w.StringGrid1->model()->index(0, JournalModel::EventColumn);
        const QPoint centre = w.StringGrid1->visualRect(frameRow).center();
        QTest::mouseClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(w.StringGrid1->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(readFile(w.file(ImeiA + QStringLiteral(".jpg"))), m_frame);
        QVERIFY(!QFile::exists(w.file(ImeiB + QStringLiteral(".jpg"))));
        QCOMPARE(w.frames->Load_Image_Time(ImeiA), FrameDate);
        QCOMPARE(w.frames->Load_Image_Time(ImeiB), FrameStore::NoTime);
        QVERIFY(w.pictureShown());
    }

    void storedFrameIsShownOnSelection()
    {
        FrameWindow w;
        const QString path = w.file(ImeiA + QStringLiteral(".jpg"));
        writeFile(path, m_frame);
        w.frames->OpenImage(ImeiA);
        // No time remembered for it yet.
        QCOMPARE(w.Label11->text(), FrameStore::NoTime);
        QVERIFY(w.pictureShown());
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
        // 64 x 48 scaled into the picture's 298 x 224, proportions kept.
        QCOMPARE(w.Image1->pixmap().size(), QSize(298, 224));

        w.frames->Save_Image_Time(ImeiA, FrameDate);
        w.frames->Save_Image_Time(ImeiB, QStringLiteral("2011-09-02 00:00:00"));
        w.frames->OpenImage(ImeiA);
        QCOMPARE(w.Label11->text(), FrameDate);

        // An object without a frame file empties the picture and closes the
        // column, unless alarm entries keep it open.
        w.setAlarmsOpen(true);
        w.frames->OpenImage(ImeiB);
        QVERIFY(!w.pictureShown());
        QCOMPARE(w.Label11->text(), QString());
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
        w.setAlarmsOpen(false);
        w.frames->OpenImage(ImeiA);
        w.frames->OpenImage(ImeiB);
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnClosedWidth);
    }

    void damagedFrameFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("<html>Not Found</html>");
        QTest::newRow("cut off") << QByteArray();
        QTest::newRow("header only") << QByteArray();
    }

    void damagedFrameFiles()
    {
        QFETCH(QByteArray, content);
        const QByteArray tag = QTest::currentDataTag();
        if (tag == "cut off")
            content = m_frame.left(m_frame.size() - 40);
        else if (tag == "header only")
            content = m_frame.left(m_frame.indexOf(QByteArray("\xff\xda", 2)));
        FrameWindow w;
        writeFile(w.file(ImeiA + QStringLiteral(".jpg")), m_frame);
        w.frames->OpenImage(ImeiA);
        QVERIFY(w.pictureShown());
        writeFile(w.file(ImeiA + QStringLiteral(".jpg")), content);
        w.frames->OpenImage(ImeiA);
        QVERIFY(!w.pictureShown());
        QVERIFY(w.frames->picture().isNull());
        QCOMPARE(w.Label11->text(), FrameStore::NoTime);
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
    }

    void pictureEnlargesOverTheObjectList()
    {
        FrameWindow w;
        writeFile(w.file(ImeiA + QStringLiteral(".jpg")), m_frame);
        w.frames->OpenImage(ImeiA);
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto *column = qobject_cast<QBoxLayout *>(w.Panel4->layout());
        const int place = column->indexOf(w.Image1);

        // A press of the left button alone does nothing; its click enlarges.
        QTest::mousePress(w.Image1, Qt::LeftButton);
        QCOMPARE(w.Image1->parentWidget(), static_cast<QWidget *>(w.frames));
        QTest::mouseRelease(w.Image1, Qt::LeftButton);
        QCOMPARE(w.Image1->parentWidget(), w.OTable);
        QVERIFY(w.frames->isEnlarged());
        QCOMPARE(w.Image1->geometry(), w.OTable->rect());
        QVERIFY(w.Image1->isVisible());
        QVERIFY(w.Image1->pixmap().width() > 298 || w.Image1->pixmap().height() > 224);
        w.OTable->resize(w.OTable->width() + 40, w.OTable->height() + 20);
        QCOMPARE(w.Image1->geometry(), w.OTable->rect());

        // Another click puts it back where it was, at its own size.
        QTest::mouseClick(w.Image1, Qt::LeftButton);
        QCOMPARE(w.Image1->parentWidget(), static_cast<QWidget *>(w.frames));
        QCOMPARE(column->indexOf(w.Image1), place);
        QTRY_COMPARE(w.Image1->size(), QSize(298, 224));
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);

        // The right button puts it back and closes the column, unless alarms keep it open.
        QTest::mouseClick(w.Image1, Qt::LeftButton);
        w.setAlarmsOpen(true);
        QTest::mouseClick(w.Image1, Qt::RightButton);
        QCOMPARE(w.Image1->parentWidget(), static_cast<QWidget *>(w.frames));
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnWidth);
        QTest::mouseClick(w.Image1, Qt::LeftButton);
        w.setAlarmsOpen(false);
        QTest::mouseClick(w.Image1, Qt::RightButton);
        QCOMPARE(w.Image1->parentWidget(), static_cast<QWidget *>(w.frames));
        QCOMPARE(column->indexOf(w.Image1), place);
        QCOMPARE(w.Panel4->width(), MonitoringSession::ColumnClosedWidth);
        QVERIFY(w.pictureShown());
    }
};

QTEST_MAIN(TestFrames)
#include "test_frames.moc"
