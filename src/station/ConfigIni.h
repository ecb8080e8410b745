#pragma once

#include "ProfileFile.h"

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

struct StationState;

// Config.ini beside the executable: the connection settings and the local
// user list, read and written through the file's one kept copy. A write that
// fails is shown to the operator, once per running station.
class ConfigIni
{
public:
    explicit ConfigIni(StationState &state);

    // The four connection settings, read once at start-up.
    void readConnections(StationState &state) const;
    // Written when the main window closes, in this order: the four connection
    // settings, then the index of the last local user.
    bool writeAtClose(const StationState &state);

    // Local users. The count is kept within 0..MaxUsers: positions are held
    // in one byte and 255 means "none", so no more users can be chosen anyway,
    // and an absurd count in the file must not make the windows crawl.
    static constexpr int MaxUsers = 255;
    int userCount() const;
    int userIndex() const;
    QString userLogin(int n) const;
    QString userPass(int n) const;
    bool writeUserCount(int count);
    bool writeUser(int n, const QString &login, const QString &pass);
    struct LocalUser
    {
        QString login;
        QString pass;
    };
    // The count and every user, saved to the file once; false when nothing was written.
    bool writeUsers(const QList<LocalUser> &users);

    // [Alarms]: how an alarm nobody has taken keeps reminding the operator.
    // Read at start; never written, so a file without them keeps the defaults.
    struct AlarmSettings
    {
        // The alarm sound again at this pace while an alarm waits; 0 is off.
        int repeatSeconds = 10;
        // An alarm waiting longer is marked in the object list.
        int overdueSeconds = 120;
    };
    static constexpr int MaxAlarmSeconds = 86400;
    AlarmSettings readAlarms() const;

    // [Window]: the main window as the operator left it, written at close
    // and read at start. None when the file holds no usable geometry.
    struct WindowLayout
    {
        QRect geometry;
        bool maximized = false;
        // The object list over the journal; 0 when not stored.
        int listHeight = 0;
        int journalHeight = 0;
    };
    std::optional<WindowLayout> readWindow() const;
    bool writeWindow(const WindowLayout &layout);

    const QString &path() const { return m_file.path(); }

    // [Reconnect] Server_seconds: how often a lost server link of a logged-in
    // operator is tried again; 0 leaves it to the operator's click. Default 5.
    static constexpr int DefaultRelinkSeconds = 5;
    int relinkSeconds() const;

private:
    static QString userSection(int n);
    // Every write ends here: tells the operator of the first failure since
    // the last save that worked, and of every failure of a save he asked
    // for himself.
    bool saved(bool written, bool asked = false);

    StationState &m_state;
    ProfileFile m_file;
};
