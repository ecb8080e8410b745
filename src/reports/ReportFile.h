#pragma once

#include <QString>

class QDir;

// Where a report is written and where it is kept. The documents folder, or,
// when that cannot be written, a folder of the operator's own in the system's
// temporary folder that nobody else may enter (the reports hold the
// journal). The report is written under a hidden name of its own there and
// given a report's name only when it is finished (publish()): a report cut
// short by a crash is never found under that name, and no other station's
// report is ever written over. Beside a report that is there already the new
// one takes a free name, and the old one's place only by replace(): the
// window asks for it, and only for a whole report.
class ReportFile
{
public:
    static inline const QString FileName = QStringLiteral("ORVEX_Report.xlsx");

    // documents: the folder reports go to (the documents folder in use).
    explicit ReportFile(const QString &documents);

    // False when no folder or file could be had at all; why() tells.
    bool isUsable() const { return !m_work.isEmpty(); }
    const QString &why() const { return m_why; }
    // The file the report is written to, under a name no report has.
    const QString &work() const { return m_work; }
    // The written work file takes the report's own name, or the first free
    // one beside a report there; never that of a file there. False (why()
    // tells) when it cannot.
    bool publish();
    // A report not kept: its work file goes.
    void discard() const;
    // The report's own name in its folder, and the name it was given by
    // publish().
    const QString &target() const { return m_target; }
    const QString &written() const { return m_written; }
    // Kept in the temporary folder: the documents folder could not be written.
    bool isPrivate() const { return m_private; }
    bool besideAnother() const { return m_written != m_target; }
    // Kept where the operator looks for it: the documents folder, under its
    // own name. Anywhere else, he is told where.
    bool isWhereExpected(const QString &kept) const { return kept == m_documentsTarget; }

    // Puts the written file in the target's place, in one step.
    bool replace();
    // A file in the temporary folder is made its owner's alone.
    void restrict(const QString &path) const;

private:
    QString m_folder;
    QString m_work;
    QString m_target;
    QString m_written;
    QString m_documentsTarget;
    QString m_why;
    bool m_private = false;
};
