// Images.txt, the frame times, with any bytes as its content, read and written
// through the frame store of the main window. Checked on every input:
//  - the time of any object reads without a crash, and an object the file
//    does not name has none;
//  - opening an object's frame shows the picture with the time the file has
//    for it, and an object without a frame file shows none;
//  - a file holding a NUL byte is never rewritten by a new frame time; any
//    other file takes the new time, and the other objects keep theirs.

#include "Database.h"
#include "FrameStore.h"
#include "MonitoringSession.h"
#include "StationState.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "Images.txt invariant broken: %s\n", what);
        std::abort();
    }
}

struct Fixture
{
    QTemporaryDir scratch;
    StationState state;
    std::unique_ptr<Database> database;
    std::unique_ptr<MonitoringSession> session;
    std::unique_ptr<FrameStore> frames;
    QByteArray frame;
};

Fixture *fixture = nullptr;

// The objects the content names ("IMEI=" lines), and two it may not.
QList<QString> namedObjects(const QByteArray &content)
{
    QList<QString> objects;
    for (const QByteArray &line : content.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            objects.append(QString::fromLatin1(line.left(equals).trimmed()));
        if (objects.size() >= 16)
            break;
    }
    objects.append(QStringLiteral("356938035643809"));
    objects.append(QStringLiteral("1"));
    return objects;
}

// A name that stands in the file as written: printable ASCII that no INI
// reader takes for a section, a comment or the end of the name.
bool plainName(const QString &name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char(';')) || name.startsWith(QLatin1Char('#')))
        return false;
    for (const QChar c : name) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || c == QLatin1Char('[') || c == QLatin1Char(']')
            || c == QLatin1Char('='))
            return false;
    }
    return true;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), "cannot write a file");
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept for the whole run, as the station keeps its own.
    new QApplication(*argc, *argv);
    fixture = new Fixture;
    check(fixture->scratch.isValid(), "no scratch folder");
    fixture->database = std::make_unique<Database>(fixture->state);
    fixture->session = std::make_unique<MonitoringSession>(fixture->state);
    fixture->frames = std::make_unique<FrameStore>(fixture->state, *fixture->database, *fixture->session);

    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer buffer(&fixture->frame);
    check(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG"), "cannot make a frame");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    FrameStore &frames = *fixture->frames;
    // The same folder for every input, its Images.txt rewritten as another
    // station's frame writer would: what the store keeps of the file must
    // follow it.
    const QString home = fixture->scratch.path();
    fixture->state.Home_dir = home;
    const QString images = QDir(home).filePath(QStringLiteral("Images.txt"));
    writeFile(images, content);

    const QList<QString> objects = namedObjects(content);
    QList<QString> before;
    for (const QString &imei : objects) {
        const QString time = frames.Load_Image_Time(imei);
        if (!content.contains(imei.toLatin1()) && !content.toLower().contains(imei.toLower().toLatin1()))
            check(time == FrameStore::NoTime, "a time for an object the file does not name");
        before.append(time);
    }

    // An object with a frame file shows it with its time; one without shows nothing.
    const QString withFrame = objects.at(objects.size() - 2);
    writeFile(frames.framePath(withFrame), fixture->frame);
    frames.OpenImage(withFrame);
    check(!frames.picture().isNull() && fixture->session->pictureOpen(), "the frame is not shown");
    check(frames.Label11->text() == before.at(objects.size() - 2), "the frame's time is not the file's");
    frames.OpenImage(objects.back());
    check(frames.picture().isNull() && frames.Label11->text().isEmpty() && !fixture->session->pictureOpen(),
          "a picture for an object without a frame file");

    const QString date = QStringLiteral("2011-09-01 12:30:%1").arg(size % 60, 2, 10, QLatin1Char('0'));
    const QString changed = objects.at(size % objects.size());
    frames.Save_Image_Time(changed, date);
    if (content.contains('\0')) {
        check(fileBytes(images) == content, "a file with a NUL byte was rewritten");
    } else {
        // The station writes times for IMEIs only; a name that an INI file
        // cannot hold as it is (a "=" in it, say) is read back by no reader.
        if (plainName(changed)) {
            check(frames.Load_Image_Time(changed) == date, "a new frame time does not read back");
            for (qsizetype i = 0; i < objects.size(); ++i) {
                if (objects.at(i).toLatin1().toLower() != changed.toLatin1().toLower())
                    check(frames.Load_Image_Time(objects.at(i)) == before.at(i),
                          "a new frame time changed another's");
            }
        }
    }

    QFile::remove(frames.framePath(withFrame));
    return 0;
}
