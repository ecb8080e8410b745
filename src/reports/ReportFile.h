#pragma once

#include <QString>

class QDir;

// Where a report is written and where it is kept. The documents folder, or,
// when that cannot be written, a folder of the operator's own in the system's
// temporary folder that nobody else may enter (the reports hold the
// journal). Beside a report that is there already a new one is written under
// a free name, and takes the old one's place only by replace(): the window
// asks for it, and only for a whole report.
class ReportFile
{
public:
    static inline const QString FileName = QStringLiteral("ORVEX_Report.xlsx");

    // documents: the folder reports go to (the documents folder in use).
    explicit ReportFile(const QString &documents);

    // False when no folder could be had at all; why() tells.
    bool isUsable() const { return !m_folder.isEmpty(); }
    const QString &why() const { return m_why; }
    // The report's own name in its folder, and the file the job writes:
    // the same unless a report is there already.
    const QString &target() const { return m_target; }
    const QString &written() const { return m_written; }
    bool besideAnother() const { return m_written != m_target; }
    // Kept where the operator looks for it: the documents folder, under its
    // own name. Anywhere else, he is told where.
    bool isWhereExpected(const QString &kept) const { return kept == m_documentsTarget; }

    // Puts the written file in the target's place, in one step.
    bool replace();
    // A file in the temporary folder is made its owner's alone.
    void restrict(const QString &path) const;

    // ORVEX_Report (2).xlsx, (3), ...: the first name not taken in folder.
    static QString freeName(const QDir &folder);

private:
    QString m_folder;
    QString m_target;
    QString m_written;
    QString m_documentsTarget;
    QString m_why;
    bool m_private = false;
};
