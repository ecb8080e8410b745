#include "ProfileFile.h"

#include "Cp1251.h"
#include "IniDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

// What tells one state of a file from another without reading it.
struct Stamp
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modified = 0; // ns
    // Not compared: only tells whether the file is old enough to be trusted.
    qint64 changed = 0; // ns

    bool operator==(const Stamp &other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && modified == other.modified;
    }
};

qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

qint64 now()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return nanoseconds(t);
}

Stamp stampOf(const QString &path)
{
    struct stat st{};
    Stamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = nanoseconds(st.st_mtim);
    stamp.changed = nanoseconds(st.st_ctim);
    return stamp;
}

// File times advance in steps (a clock tick, two seconds on FAT): a second
// write within the step of the first may leave size and times as they were.
// Until the step has surely passed, the contents are compared as well.
constexpr qint64 TimeGrain = 2'000'000'000;

bool settled(const Stamp &stamp, qint64 at)
{
    return !stamp.exists || (stamp.modified < at - TimeGrain && stamp.changed < at - TimeGrain);
}

// The kept copy of one file.
struct Kept
{
    Stamp stamp;
    IniDocument document;
    // False when the file exists but could not be read whole (unreadable, or
    // a NUL byte, where reading stops): such a copy is never written back.
    bool whole = true;
    // Why it could not, for the write's error.
    QString notWhole;
    // The stamp alone tells whether the file changed.
    bool trusted = false;
    // The copy may differ from the file (a failed save): read it again.
    bool stale = false;
    size_t contentHash = 0;
};

std::mutex keptLock;
std::unordered_map<QString, std::unique_ptr<Kept>> keptFiles;
std::atomic<quint64> parses{0};

// One kept copy per file, whatever spelling of its path: the canonical path,
// or for a file not made yet, that of its folder.
QString keyOf(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    return folder + QLatin1Char('/') + info.fileName();
}

enum class Read { Missing, Failed, Done };

Read readAll(const QString &path, QByteArray *bytes, QString *error = nullptr)
{
    QFile file(path);
    if (!file.exists())
        return Read::Missing;
    if (file.open(QIODevice::ReadOnly)) {
        *bytes = file.readAll();
        if (file.error() == QFileDevice::NoError)
            return Read::Done;
    }
    if (error)
        *error = QStringLiteral("файл не читается (%1)").arg(file.errorString());
    return Read::Failed;
}

void parseInto(Kept &kept, const QByteArray &bytes)
{
    kept.document = IniDocument(bytes);
    kept.whole = !bytes.contains('\0');
    kept.notWhole = kept.whole ? QString() : QStringLiteral("в файле есть байт NUL, и всё, что после него, было бы потеряно");
    kept.contentHash = qHash(bytes);
    ++parses;
}

// Loads the file into kept. A missing or unreadable file reads as empty: every
// key gets its default.
void load(Kept &kept, const QString &path, const Stamp &stamp, qint64 at)
{
    kept.stamp = stamp;
    kept.stale = false;
    QByteArray bytes;
    QString error;
    switch (readAll(path, &bytes, &error)) {
    case Read::Missing:
        kept.document = IniDocument();
        kept.whole = true;
        kept.notWhole.clear();
        kept.contentHash = 0;
        break;
    case Read::Failed:
        kept.document = IniDocument();
        kept.whole = false;
        kept.notWhole = error;
        kept.contentHash = 0;
        break;
    case Read::Done:
        parseInto(kept, bytes);
        break;
    }
    kept.trusted = settled(stamp, at);
}

// The kept copy of path, brought up to date with the file. Called with keptLock held.
Kept &current(const QString &path)
{
    std::unique_ptr<Kept> &slot = keptFiles[keyOf(path)];
    const qint64 at = now();
    const Stamp stamp = stampOf(path);
    if (!slot) {
        slot = std::make_unique<Kept>();
        load(*slot, path, stamp, at);
        return *slot;
    }
    Kept &kept = *slot;
    if (kept.stale || !(stamp == kept.stamp)) {
        load(kept, path, stamp, at);
    } else if (!kept.trusted) {
        QByteArray bytes;
        if (readAll(path, &bytes) != Read::Done) {
            load(kept, path, stamp, at);
        } else {
            if (!kept.whole || qHash(bytes) != kept.contentHash)
                parseInto(kept, bytes);
            kept.trusted = settled(stamp, at);
        }
    }
    return kept;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The rename that puts a new file in place is a change of its folder: until
// the folder is on the disk too, a power cut may leave neither file.
bool syncFolder(const QString &path, QString *error)
{
    const QString file = QFileInfo(path).canonicalFilePath();
    const QString folder = QFileInfo(file.isEmpty() ? path : file).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder that may be written but not listed cannot be opened, so there
    // is nothing to sync it through; the file is in place all the same.
    if (fd < 0)
        return true;
    const int result = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    // EINVAL: a file system that cannot sync a folder.
    if (result != 0 && code != EINVAL) {
        *error = QStringLiteral("папка %1 не записана на диск (%2)").arg(QDir::toNativeSeparators(folder), systemError(code));
        return false;
    }
    return true;
}

// Written aside and put in place whole. QSaveFile's direct-write fallback,
// which truncates the file and writes it in place where no file can be made
// beside it, stays off: a crash or a full disk midway would leave half a file.
bool save(const QString &path, const QByteArray &bytes, QString *error)
{
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isWritable()) {
        *error = QStringLiteral("файл защищен от записи");
        return false;
    }
    QSaveFile file(path);
    // Unbuffered: a write that fails only when a buffer is flushed inside
    // commit() goes unnoticed there (Qt 6.4), and a cut-off file is put in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("в папке нельзя создать новый файл (%1)").arg(file.errorString());
        return false;
    }
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            *error = QStringLiteral("запись прервана (%1)").arg(file.errorString());
            return false;
        }
        done += written;
    }
    // commit() syncs the file as well, but goes on to the rename whatever the
    // sync says: data the disk refused late (full, failing) would be put in place.
    if (::fdatasync(file.handle()) != 0) {
        const int code = errno;
        if (code != EINVAL) {
            *error = QStringLiteral("файл не записан на диск (%1)").arg(systemError(code));
            return false;
        }
    }
    if (!file.commit()) {
        *error = QStringLiteral("новый файл не удалось поставить на место старого (%1)").arg(file.errorString());
        return false;
    }
    return syncFolder(path, error);
}

std::optional<QByteArray> lookUp(const QString &path, const QString &section, const QString &key)
{
    const std::lock_guard<std::mutex> guard(keptLock);
    return current(path).document.value(Cp1251::encode(section), Cp1251::encode(key));
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{
}

void ProfileFile::keep() const
{
    const std::lock_guard<std::mutex> guard(keptLock);
    current(m_path);
}

quint64 ProfileFile::parseCount()
{
    return parses.load();
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const std::optional<QByteArray> value = lookUp(m_path, section, key);
    if (!value)
        return defaultValue;
    return Cp1251::decode(*value);
}

int ProfileFile::readInt(const QString &section, const QString &key, int defaultValue) const
{
    const std::optional<QByteArray> value = lookUp(m_path, section, key);
    int result = 0;
    if (!value || !parseInt(QString::fromLatin1(*value), &result))
        return defaultValue;
    return result;
}

bool ProfileFile::parseInt(const QString &text, int *value)
{
    QString digits = text.trimmed();
    bool negative = false;
    if (digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+'))) {
        negative = digits.front() == QLatin1Char('-');
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    if (digits.isEmpty())
        return false;
    for (const QChar c : digits) {
        const bool ok = base == 16 ? isxdigit(c.unicode() < 128 ? c.toLatin1() : 'g') : c.isDigit() && c.unicode() < 128;
        if (!ok)
            return false;
    }
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok, base);
    if (!ok)
        return false;
    const qlonglong signedValue = negative ? -magnitude : magnitude;
    if (signedValue < std::numeric_limits<int>::min() || signedValue > std::numeric_limits<int>::max())
        return false;
    *value = static_cast<int>(signedValue);
    return true;
}

bool ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    return writeStrings({Entry{section, key, value}});
}

bool ProfileFile::writeInt(const QString &section, const QString &key, long long value)
{
    return writeString(section, key, QString::number(value));
}

bool ProfileFile::writeStrings(const QList<Entry> &entries)
{
    struct Encoded
    {
        QByteArray section, key, value;
    };
    QList<Encoded> encoded;
    encoded.reserve(entries.size());
    for (const Entry &e : entries) {
        encoded.append(Encoded{Cp1251::encode(e.section), Cp1251::encode(e.key), Cp1251::encode(e.value)});
        if (!IniDocument::canWrite(encoded.back().section, encoded.back().key, encoded.back().value))
            return fail(QStringLiteral("ключ %1 в разделе [%2] не может хранить такое значение (перевод строки, NUL "
                                       "или недопустимое имя)")
                            .arg(e.key, e.section));
    }

    const std::lock_guard<std::mutex> guard(keptLock);
    Kept &kept = current(m_path);
    // Written back from a partial read, the file would lose what was not read.
    if (!kept.whole)
        return fail(kept.notWhole);
    for (const Encoded &e : encoded)
        kept.document.setValue(e.section, e.key, e.value);
    const QByteArray bytes = kept.document.toBytes();

    QString error;
    if (!save(m_path, bytes, &error)) {
        // The copy holds changes the file may not: the next access reads the file.
        kept.stale = true;
        return fail(error);
    }
    const qint64 at = now();
    kept.stamp = stampOf(m_path);
    kept.contentHash = qHash(bytes);
    kept.trusted = settled(kept.stamp, at);
    m_error.clear();
    return true;
}

bool ProfileFile::fail(QString reason)
{
    m_error = std::move(reason);
    return false;
}
