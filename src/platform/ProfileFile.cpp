#include "ProfileFile.h"

#include "Cp1251.h"

// Values are kept as the file's own bytes (code page 1251); SimpleIni converts nothing.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <QFile>

#include <limits>

namespace {

// CSimpleIniA compares section and key names without regard to case.
using Ini = CSimpleIniA;

QByteArray localPath(const QString &path)
{
    return QFile::encodeName(path);
}

// Section and key names are ASCII in every file the station touches; values
// are code page 1251.
QByteArray name(const QString &text)
{
    return Cp1251::encode(text);
}

// Loads the file into ini. A missing or unreadable file reads as empty: every
// key gets its default. Returns whether what was loaded is the whole file, so
// that writing it back keeps everything: not when the file exists but cannot
// be read, nor when it holds a NUL byte, where the parser stops.
bool load(Ini &ini, const QString &path)
{
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    ini.LoadData(bytes.constData(), size_t(bytes.size()));
    return !bytes.contains('\0');
}

} // namespace

ProfileFile::ProfileFile(QString path)
    : m_path(std::move(path))
{
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    Ini ini;
    load(ini, m_path);
    const char *value = ini.GetValue(name(section).constData(), name(key).constData(), nullptr);
    if (!value)
        return defaultValue;
    return Cp1251::decode(QByteArray(value));
}

int ProfileFile::readInt(const QString &section, const QString &key, int defaultValue) const
{
    Ini ini;
    load(ini, m_path);
    const char *value = ini.GetValue(name(section).constData(), name(key).constData(), nullptr);
    int result = 0;
    if (!value || !parseInt(QString::fromLatin1(value), &result))
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
    Ini ini;
    // Written back from a partial read, the file would lose what was not read.
    if (!load(ini, m_path))
        return false;
    ini.SetValue(name(section).constData(), name(key).constData(), Cp1251::encode(value).constData());
    return ini.SaveFile(localPath(m_path).constData()) == SI_OK;
}

bool ProfileFile::writeInt(const QString &section, const QString &key, long long value)
{
    return writeString(section, key, QString::number(value));
}
