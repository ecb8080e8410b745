// The INI reader and writer (Config.ini, Images.txt) with any bytes as the
// file's content. Checked on every input:
//  - reading any key, as text or as a number, never crashes, and a key that
//    is absent gives the caller's default;
//  - a file holding a NUL byte is never rewritten: every write is refused and
//    the file keeps its bytes;
//  - otherwise a written key reads back as written, from the same object and
//    from a new one on the file, and every other key keeps its value; only a
//    value with a line break may be refused, and then the file stays as it was.
//
// The keys read and written are those the file itself names (its "[section]"
// and "key=" lines) and the station's own; the value written is the file's
// last line, so that the fuzzer shapes it too.

#include "Cp1251.h"
#include "ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
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
        std::fprintf(stderr, "profile invariant broken: %s\n", what);
        std::abort();
    }
}

struct Key
{
    QString section;
    QString key;
};

// Names are stored as code page bytes and compared without regard to ASCII case.
bool sameKey(const Key &a, const Key &b)
{
    return Cp1251::encode(a.section).toLower() == Cp1251::encode(b.section).toLower()
        && Cp1251::encode(a.key).toLower() == Cp1251::encode(b.key).toLower();
}

// A name any INI writer puts down and reads back unchanged.
bool plainName(const QString &name)
{
    if (name.isEmpty() || name.size() > 40)
        return false;
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') && c != QLatin1Char('.'))
            return false;
    }
    return true;
}

// A value that reads back as written: one line, no surrounding blanks (INI
// readers trim them), no NUL.
bool plainValue(const QString &value)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) || value.contains(QChar(0)))
        return false;
    return value.isEmpty()
        || (value.front() != QLatin1Char(' ') && value.front() != QLatin1Char('\t') && value.back() != QLatin1Char(' ')
            && value.back() != QLatin1Char('\t'));
}

// The sections and keys the content names, roughly as an INI reader sees them.
QList<Key> namedKeys(const QByteArray &content)
{
    QList<Key> keys;
    QString section;
    for (const QByteArray &rawLine : content.split('\n')) {
        const QString line = Cp1251::decode(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype end = line.indexOf(QLatin1Char(']'));
            section = line.mid(1, end < 0 ? -1 : end - 1).trimmed();
            keys.append({section, QStringLiteral("Login")});
        } else if (const qsizetype equals = line.indexOf(QLatin1Char('=')); equals > 0) {
            keys.append({section, line.left(equals).trimmed()});
        }
        if (keys.size() >= 12)
            break;
    }
    return keys;
}

const QString Absent = QStringLiteral("<absent>");

QString readAll(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QTemporaryDir *scratch()
{
    static const std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    return dir.get();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    check(scratch()->isValid(), "no scratch folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    // The same file for every input, rewritten as another program would: what
    // a reader keeps of the file must follow it, never answer from an older
    // content.
    const QString path = QDir(scratch()->path()).filePath(QStringLiteral("Config.ini"));
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(), "cannot write the input");
    }

    QList<Key> keys = namedKeys(content);
    keys.append({QStringLiteral("Connections"), QStringLiteral("Server_port")});
    keys.append({QStringLiteral("Users"), QStringLiteral("Count")});
    keys.append({QStringLiteral("User1"), QStringLiteral("Pass")});

    ProfileFile profile(path);
    QList<QString> before;
    for (const Key &k : std::as_const(keys)) {
        const QString value = profile.readString(k.section, k.key, Absent);
        before.append(value);
        const int number = profile.readInt(k.section, k.key, -7);
        const int again = profile.readInt(k.section, k.key, 7);
        check(number == again || (number == -7 && again == 7), "a number read depends on its default");
        if (value == Absent)
            check(number == -7, "an absent key reads as a number");
    }

    // The file's last line is the value written.
    QString value = Cp1251::decode(content.mid(content.lastIndexOf('\n') + 1).left(60));
    const bool nul = content.contains('\0');
    QList<Key> written;
    for (const Key &k : std::as_const(keys)) {
        if (written.size() < 3 && plainName(k.section) && plainName(k.key))
            written.append(k);
    }
    written.append({QStringLiteral("Fuzz"), QStringLiteral("Key%1").arg(size % 7)});

    for (const Key &k : std::as_const(written)) {
        const QByteArray old = fileBytes(path);
        const bool ok = profile.writeString(k.section, k.key, value);
        if (nul) {
            check(!ok, "a write to a file with a NUL byte reported success");
            check(fileBytes(path) == content, "a file with a NUL byte was rewritten");
            continue;
        }
        if (!ok) {
            // Only a value that would break the file's lines may be refused,
            // and a refused write leaves the file as it was.
            check(value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')) || value.contains(QChar(0)),
                  "a write to a readable file failed");
            check(fileBytes(path) == old, "a refused write changed the file");
            continue;
        }
        if (!plainValue(value))
            continue;
        const QString expected = Cp1251::decode(Cp1251::encode(value));
        check(profile.readString(k.section, k.key, Absent) == expected, "a written key does not read back");
        check(ProfileFile(path).readString(k.section, k.key, Absent) == expected,
              "a written key does not read back from the file");
    }

    if (!nul) {
        ProfileFile reread(path);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            bool isWritten = false;
            for (const Key &w : std::as_const(written))
                isWritten = isWritten || sameKey(w, keys.at(i));
            if (isWritten)
                continue;
            const QString now = reread.readString(keys.at(i).section, keys.at(i).key, Absent);
            if (now != before.at(i)) {
                std::fprintf(stderr, "[%s] %s: %s -> %s\n", qPrintable(keys.at(i).section),
                             qPrintable(keys.at(i).key), qPrintable(readAll(before.at(i).toUtf8())),
                             qPrintable(readAll(now.toUtf8())));
                check(false, "a write changed another key");
            }
        }
    }
    return 0;
}
