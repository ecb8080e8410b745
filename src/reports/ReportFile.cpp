#include "ReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

bool writable(const QString &folder)
{
    return QDir().mkpath(folder) && QFileInfo(folder).isWritable();
}

// The operator's own folder in the temporary one: made for him alone, and
// not taken if it is someone else's or open to others.
QString privateTemp(QString *why)
{
    const QString folder = QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
                               .filePath(QStringLiteral("orvex-reports-%1").arg(::getuid()));
    QDir().mkpath(folder);
    struct stat st{};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        *why = QStringLiteral("папка %1 не принадлежит пользователю").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    if (!QFile::setPermissions(folder, OwnerOnly) || !QFileInfo(folder).isWritable()) {
        *why = QStringLiteral("в папку %1 нельзя записать").arg(QDir::toNativeSeparators(folder));
        return {};
    }
    return folder;
}

} // namespace

ReportFile::ReportFile(const QString &documents)
    : m_documentsTarget(QDir(documents).filePath(FileName))
{
    if (writable(documents)) {
        m_folder = documents;
    } else {
        m_folder = privateTemp(&m_why);
        m_private = true;
        if (m_folder.isEmpty())
            return;
    }
    const QDir dir(m_folder);
    m_target = dir.filePath(FileName);
    // The work file's name is claimed now, so that no other report (of this
    // station or of another one sharing the folder) is written to it.
    QTemporaryFile work(dir.filePath(QStringLiteral(".ORVEX_Report-XXXXXX.part")));
    work.setAutoRemove(false);
    if (!work.open()) {
        m_why = QStringLiteral("в папку %1 нельзя записать: %2")
                    .arg(QDir::toNativeSeparators(m_folder), work.errorString());
        return;
    }
    m_work = work.fileName();
    // Made for the owner alone; a report in the documents folder is read as
    // the operator's other files are.
    if (!m_private) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(work.handle(), 0666 & ~mask);
    }
}

bool ReportFile::publish()
{
    const QDir dir(m_folder);
    const QByteArray work = QFile::encodeName(m_work);
    constexpr int MostNames = 10000;
    for (int n = 1; n <= MostNames; ++n) {
        const QString name = n == 1 ? m_target : dir.filePath(QStringLiteral("ORVEX_Report (%1).xlsx").arg(n));
        const QByteArray encoded = QFile::encodeName(name);
        // A second name for the file, refused when the name is taken: no
        // file there, whoever made it meanwhile, is written over.
        if (::link(work.constData(), encoded.constData()) == 0) {
            ::unlink(work.constData());
            m_written = name;
            return true;
        }
        if (errno == EEXIST)
            continue;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) {
            m_why = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        // A folder without second names (some network shares): the name is
        // taken if nothing is there now.
        struct stat st{};
        if (::lstat(encoded.constData(), &st) == 0)
            continue;
        if (std::rename(work.constData(), encoded.constData()) == 0) {
            m_written = name;
            return true;
        }
        m_why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_why = QStringLiteral("в папке %1 нет свободного имени").arg(QDir::toNativeSeparators(m_folder));
    return false;
}

void ReportFile::discard() const
{
    if (!m_work.isEmpty())
        QFile::remove(m_work);
}

bool ReportFile::replace()
{
    // rename() replaces the old file in one step; QFile::rename would not.
    if (std::rename(QFile::encodeName(m_written).constData(), QFile::encodeName(m_target).constData()) != 0)
        return false;
    m_written = m_target;
    return true;
}

void ReportFile::restrict(const QString &path) const
{
    if (m_private)
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}
