#pragma once

#include <QString>

// An INI file read and written one key at a time, in the manner of the Windows
// profile functions: section and key names compare without regard to case, a
// missing file, section or key gives the caller's default, the first write
// creates the file, and the file is opened for each access and released at
// once. Values are stored in code page 1251.
class ProfileFile
{
public:
    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

    // A decimal integer, or hexadecimal after "0x"; a value that is not a
    // whole integer of this range gives the default.
    int readInt(const QString &section, const QString &key, int defaultValue) const;

    // Returns false when the file could not be written, and writes nothing
    // when it could not be read whole (unreadable, or a NUL byte in it): a
    // file rewritten from a partial read would lose the rest.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInt(const QString &section, const QString &key, long long value);

    // The integer reading rule on its own, for other texts that follow it.
    static bool parseInt(const QString &text, int *value);

private:
    QString m_path;
};
