#pragma once

#include <QList>
#include <QString>

// An INI file read and written one key at a time, in the manner of the Windows
// profile functions: section and key names compare without regard to case, a
// missing file, section or key gives the caller's default, the first write
// creates the file, and a write goes to the file at once, changing only the
// bytes of that key. Values are stored in code page 1251.
//
// The file is parsed once and its copy kept for every ProfileFile of the same
// path, so that a key costs a lookup, not a parse of the whole file. Before each
// access the file's size, times and identity are compared with those of the
// kept copy, and a file changed by another writer (another station, the frame
// writer) is parsed again.
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
    // file rewritten from a partial read would lose the rest. A value with a
    // line break or a NUL is refused too: it would break the file's lines.
    //
    // The new file is written beside the old one and put in place whole, and
    // both the file and its folder are synced to disk: a crash, a power cut
    // or a full disk leaves the old file or the new one. Where no file can be
    // made beside it (a folder that cannot be written), the old file is left
    // as it is and the write fails: it is never rewritten in place.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInt(const QString &section, const QString &key, long long value);

    struct Entry
    {
        QString section;
        QString key;
        QString value;
    };
    // Several keys, in this order, saved to the file once: all of them or
    // (false) none.
    bool writeStrings(const QList<Entry> &entries);

    // Why the last write through this object failed, for a person to read;
    // empty after one that succeeded.
    const QString &errorString() const { return m_error; }

    // Reads and parses the file now unless its copy is kept and current, so
    // that a later read is a lookup.
    void keep() const;

    // The integer reading rule on its own, for other texts that follow it.
    static bool parseInt(const QString &text, int *value);

    // How many times a file has been read and parsed in this process: what
    // the kept copies save is seen here.
    static quint64 parseCount();

private:
    bool fail(QString reason);

    QString m_path;
    QString m_error;
};
