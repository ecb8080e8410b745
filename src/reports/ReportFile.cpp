#include "ReportFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

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
    m_written = QFileInfo::exists(m_target) ? freeName(dir) : m_target;
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

QString ReportFile::freeName(const QDir &folder)
{
    for (int n = 2;; ++n) {
        const QString path = folder.filePath(QStringLiteral("ORVEX_Report (%1).xlsx").arg(n));
        if (!QFileInfo::exists(path))
            return path;
    }
}
