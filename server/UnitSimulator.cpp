#include "UnitSimulator.h"

#include "PacketCodec.h"
#include "ServerDatabase.h"
#include "ServerLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

struct OutputInfo {
    int bit;
    const char *label; // UTF-8
    bool inverted;     // value 1 switches the thing off
};

// Output number of command 10 -> bit of the status word. The bit always
// follows the value sent; only the meaning of output 4 is inverted (its bit
// set means the cash machine's power is off).
constexpr OutputInfo Outputs[] = {
    {15, "Внешняя сирена", false},
    {16, "Выход блокировки", false},
    {17, "Универсальный выход", false},
    {18, "Выход сброса", false},
    {19, "Питание банкомата", true},
    {14, "Внутренняя сирена", false},
};

QString now()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

quint32 statusWord(const QString &text, const QString &imei)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (ok && value >= 0 && value <= 0xFFFFFFFFLL)
        return static_cast<quint32>(value);
    if (!text.isEmpty())
        ServerLog::write(QStringLiteral("objects.Status of %1 is not a status word (\"%2\"), taken as 0").arg(imei, text));
    return 0;
}

// Requests of one object beyond these are dropped: the camera delivers one
// frame a second, and a burst must not keep the server busy for minutes.
constexpr qsizetype MaxWaitingFrames = 4;

QFileInfoList frameFiles(const QString &dir)
{
    return QDir(dir).entryInfoList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}, QDir::Files | QDir::Readable,
                                   QDir::Name | QDir::IgnoreCase);
}

quint8 stateCode(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 255 ? static_cast<quint8>(value) : 0;
}

} // namespace

UnitSimulator::UnitSimulator(ServerDatabase &database, const QString &framesDir)
    : m_database(database)
    , m_framesDir(framesDir)
{
    m_frameTimer.setSingleShot(true);
    QObject::connect(&m_frameTimer, &QTimer::timeout, [this] { storeWaitingFrames(); });
}

QString UnitSimulator::alarmText(int code)
{
    switch (code) {
    case 100: return QStringLiteral("Тревога: Открыта инженерная панель");
    case 101: return QStringLiteral("Тревога: Открыт сейф");
    case 102: return QStringLiteral("Тревога: Сработал датчик удара");
    case 103: return QStringLiteral("Тревога: Сработал универсальный вход");
    case 110: return QStringLiteral("Тревога: Сработал датчик перемещения");
    case 111: return QStringLiteral("Тревога: Пропало внешнее напряжение");
    case 112: return QStringLiteral("Тревога: Низкий заряд аккумулятора");
    case 113: return QStringLiteral("Тревога: Критический заряд аккумулятора");
    case 114: return QStringLiteral("Тревога: Вскрытие корпуса прибора");
    case 115: return QStringLiteral("Тревога: Объект не отвечает");
    default: return QStringLiteral("Тревога (код %1)").arg(code);
    }
}

UnitSimulator::Replies UnitSimulator::handleCommand(const QByteArray &packet, const QString &login)
{
    const QByteArray imei = packet.mid(1, PacketCodec::ImeiLength);
    const quint8 code = static_cast<quint8>(packet.at(16));
    const QByteArray data = packet.mid(17);
    switch (code) {
    case PacketCodec::StatusRequest:
        return statusRequest(imei);
    case PacketCodec::Guard:
        return guard(imei, static_cast<quint8>(data.at(0)), login);
    case PacketCodec::Output:
        return output(imei, static_cast<quint8>(data.at(0)), static_cast<quint8>(data.at(1)), login);
    case PacketCodec::CameraFrame:
        return cameraFrame(imei, static_cast<quint8>(data.at(0)), login);
    case PacketCodec::VoiceCall:
        return voiceCall(imei, data, login);
    default:
        ServerLog::write(QStringLiteral("command code %1 is not handled").arg(code));
        return {};
    }
}

UnitSimulator::Replies UnitSimulator::statusRequest(const QByteArray &imei)
{
    const QString text = PacketCodec::imeiText(imei);
    ServerDatabase::ObjectRow row;
    switch (m_database.findObject(text, &row)) {
    case ServerDatabase::Lookup::Failed:
        // A made-up word would show the operator states the unit never had.
        ServerLog::write(QStringLiteral("status of %1 not reported: the database failed").arg(text));
        return {};
    case ServerDatabase::Lookup::Missing:
        // No unit answers for an IMEI the network does not have; a word of 0
        // would show a healthy unit and wipe the states the card shows.
        ServerLog::write(QStringLiteral("unknown IMEI %1: status request not answered").arg(text));
        return {};
    case ServerDatabase::Lookup::Found:
        break;
    }
    return {{PacketCodec::statusReport(imei, statusWord(row.status, text))}, {}};
}

bool UnitSimulator::findObject(const QString &imei, ServerDatabase::ObjectRow *row)
{
    const auto lookup = m_database.findObject(imei, row);
    if (lookup == ServerDatabase::Lookup::Missing)
        ServerLog::write(QStringLiteral("unknown IMEI %1: command not answered").arg(imei));
    return lookup == ServerDatabase::Lookup::Found;
}

UnitSimulator::Replies UnitSimulator::guard(const QByteArray &imei, quint8 value, const QString &login)
{
    const QString text = PacketCodec::imeiText(imei);
    if (value > 1) {
        ServerLog::write(QStringLiteral("arm/disarm of %1 with value %2 ignored").arg(text, QString::number(value)));
        return {};
    }
    ServerDatabase::ObjectRow row;
    if (!findObject(text, &row))
        return {};
    const bool armed = value == 1;
    if (!m_database.setGuard(text, armed))
        return {};
    journal(text, now(), QStringLiteral("Охрана"), armed ? QStringLiteral("Взят под охрану") : QStringLiteral("Снят с охраны"),
            row.group, login);
    const quint8 state = armed ? 2 : 1;
    // Arming an armed object changes nothing the stations show; a
    // notification would only replay the state's sound on each of them.
    if (stateCode(row.state) == state)
        return {};
    return {{}, {PacketCodec::stateNotification(imei, state)}};
}

UnitSimulator::Replies UnitSimulator::output(const QByteArray &imei, quint8 number, quint8 value, const QString &login)
{
    const QString text = PacketCodec::imeiText(imei);
    if (number >= std::size(Outputs) || value > 1) {
        ServerLog::write(QStringLiteral("output command of %1 with output %2, value %3 ignored")
                             .arg(text, QString::number(number), QString::number(value)));
        return {};
    }
    ServerDatabase::ObjectRow row;
    if (!findObject(text, &row))
        return {};
    const OutputInfo &info = Outputs[number];
    quint32 word = statusWord(row.status, text);
    const quint32 mask = quint32(1) << info.bit;
    word = value ? (word | mask) : (word & ~mask);
    if (!m_database.setStatus(text, word))
        return {};

    const bool switchOn = (value == 1) != info.inverted;
    journal(text, now(), QStringLiteral("Команда"),
            QString::fromUtf8(info.label) + (switchOn ? QStringLiteral(": включить") : QStringLiteral(": выключить")),
            row.group, login);
    return {{PacketCodec::statusReport(imei, word)}, {}};
}

QString UnitSimulator::nextFrame()
{
    if (m_framesDir.isEmpty())
        return {};
    const QFileInfoList files = frameFiles(m_framesDir);
    if (files.isEmpty())
        return {};
    const QString path = files.at(m_frameIndex % files.size()).filePath();
    m_frameIndex = (m_frameIndex + 1) % files.size();
    return path;
}

UnitSimulator::Replies UnitSimulator::cameraFrame(const QByteArray &imei, quint8 value, const QString &login)
{
    const QString text = PacketCodec::imeiText(imei);
    if (value != 3) {
        ServerLog::write(QStringLiteral("camera command of %1 with value %2 ignored").arg(text, QString::number(value)));
        return {};
    }
    ServerDatabase::ObjectRow row;
    if (!findObject(text, &row))
        return {};

    const auto waiting = std::count_if(m_waitingFrames.cbegin(), m_waitingFrames.cend(),
                                       [&text](const WaitingFrame &frame) { return frame.imei == text; });
    // Earlier requests keep their turn: a new one only goes straight through
    // when none of this object's is waiting.
    if (waiting == 0 && takeFrame(text, row.group, login) != FrameOutcome::SecondTaken)
        return {};
    if (waiting >= MaxWaitingFrames) {
        ServerLog::write(QStringLiteral("camera of %1 busy (%2 frames waiting): request of %3 dropped")
                             .arg(text, QString::number(waiting), login));
        return {};
    }
    m_waitingFrames.append({text, row.group, login});
    scheduleWaitingFrames();
    ServerLog::write(QStringLiteral("frame for %1 waits for a second of its own").arg(text));
    // A frame leaves the state as it is. A notification would make every
    // station replay that state's sound and sort its list again; the row
    // reaches their journals with the next real change.
    return {};
}

UnitSimulator::FrameOutcome UnitSimulator::takeFrame(const QString &imei, const QString &group, const QString &login)
{
    // A station opens a frame by its object and the Date of its journal row,
    // and takes the first frame of that second: two frames in one second
    // would show the first for both rows. Dating the second one ahead instead
    // would put its row in the future, and the stations ask only for rows
    // newer than the newest they have. So each frame gets the second it is
    // really stored in, and a frame whose second is taken waits for the next.
    const QDateTime taken = QDateTime::currentDateTime();
    const qint64 second = taken.toSecsSinceEpoch();
    if (m_frameSecond.value(imei, -1) >= second)
        return FrameOutcome::SecondTaken;
    if (m_framesDir.isEmpty() || frameFiles(m_framesDir).isEmpty()) {
        ServerLog::write(QStringLiteral("no JPEG frames to send for %1 (see --frames)").arg(imei));
        return FrameOutcome::Failed;
    }
    const QString date = taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const std::optional<bool> occupied = m_database.hasFrameAt(imei, date);
    if (!occupied)
        return FrameOutcome::Failed;
    if (*occupied) {
        // Written by someone else: this server will not write there either.
        m_frameSecond.insert(imei, second);
        return FrameOutcome::SecondTaken;
    }

    const QString path = nextFrame();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ServerLog::write(QStringLiteral("frame %1 cannot be read: %2").arg(path, file.errorString()));
        return FrameOutcome::Failed;
    }
    const QByteArray jpeg = file.readAll();
    if (jpeg.isEmpty()) {
        ServerLog::write(QStringLiteral("frame %1 is empty, not sent").arg(path));
        return FrameOutcome::Failed;
    }
    const QString event = QStringLiteral("Кадр с камеры");
    if (!m_database.storeFrame(imei, date, event, jpeg))
        return FrameOutcome::Failed;
    m_frameSecond.insert(imei, second);
    ServerLog::write(QStringLiteral("frame %1 (%2 bytes) stored for %3 at %4")
                         .arg(QDir::toNativeSeparators(path), QString::number(jpeg.size()), imei, date));
    journal(imei, date, QStringLiteral("Событие"), event, group, login);
    return FrameOutcome::Stored;
}

void UnitSimulator::storeWaitingFrames()
{
    const QList<WaitingFrame> waiting = std::exchange(m_waitingFrames, {});
    QStringList served; // one frame an object a second
    for (const WaitingFrame &frame : waiting) {
        if (served.contains(frame.imei)) {
            m_waitingFrames.append(frame);
            continue;
        }
        served.append(frame.imei);
        if (takeFrame(frame.imei, frame.group, frame.login) == FrameOutcome::SecondTaken)
            m_waitingFrames.append(frame);
    }
    scheduleWaitingFrames();
}

void UnitSimulator::scheduleWaitingFrames()
{
    if (m_waitingFrames.isEmpty() || m_frameTimer.isActive())
        return;
    // Just after the next second begins.
    m_frameTimer.start(1000 - QTime::currentTime().msec() + 20);
}

UnitSimulator::Replies UnitSimulator::voiceCall(const QByteArray &imei, const QByteArray &number,
                                                const QString &login)
{
    const QString text = PacketCodec::imeiText(imei);
    ServerDatabase::ObjectRow row;
    if (!findObject(text, &row))
        return {};
    journal(text, now(), QStringLiteral("Команда"),
            QStringLiteral("Голосовое соединение с ") + PacketCodec::fieldText(number), row.group, login);
    return {};
}

bool UnitSimulator::raiseAlarm(const QString &imei, int code, Replies *replies, QString *error)
{
    ServerDatabase::ObjectRow row;
    switch (m_database.findObject(imei, &row)) {
    case ServerDatabase::Lookup::Failed:
        *error = QStringLiteral("database error: ") + m_database.lastError();
        return false;
    case ServerDatabase::Lookup::Missing:
        *error = QStringLiteral("unknown IMEI ") + imei;
        return false;
    case ServerDatabase::Lookup::Found:
        break;
    }
    if (!m_database.setState(imei, code)) {
        *error = QStringLiteral("database error: ") + m_database.lastError();
        return false;
    }
    journal(imei, now(), QStringLiteral("Тревога"), alarmText(code), row.group, QString());
    replies->toAll.append(PacketCodec::stateNotification(PacketCodec::imeiField(imei), static_cast<quint8>(code)));
    return true;
}

void UnitSimulator::journal(const QString &imei, const QString &date, const QString &type, const QString &event,
                            const QString &group, const QString &user)
{
    // The unit's action has happened; a journal row that fails is only logged.
    m_database.addMessage({imei, date, type, event, group, user});
}
