#include "ConfigIni.h"

#include "Dialogs.h"
#include "StationState.h"

#include <QDir>

#include <algorithm>

namespace {
const QString Connections = QStringLiteral("Connections");
const QString Users = QStringLiteral("Users");
const QString Pilot = QStringLiteral("Pilot");
const QString Alarms = QStringLiteral("Alarms");
const QString Window = QStringLiteral("Window");
// Wider or taller than any desktop: a typing error, not a window.
constexpr int MaxWindowSide = 20000;
} // namespace

ConfigIni::ConfigIni(StationState &state)
    : m_state(state)
    , m_file(state.homeFile(QStringLiteral("Config.ini")))
{
}

bool ConfigIni::saved(bool written, bool asked)
{
    if (written) {
        // A later failure is a new fault.
        m_state.Config_unsaved_told = false;
        return true;
    }
    if ((m_state.Config_unsaved_told && !asked) || !m_state.dialogs)
        return false;
    m_state.Config_unsaved_told = true;
    m_state.dialogs->message(nullptr, QStringLiteral("Настройки не сохраняются: не удается записать файл %1\n%2")
                                          .arg(QDir::toNativeSeparators(m_file.path()), m_file.errorString()));
    return false;
}

void ConfigIni::readConnections(StationState &state) const
{
    // Ports are held in 16 bits: a value outside 0..65535 keeps its low bits.
    state.Server_address = m_file.readString(Connections, QStringLiteral("Server_address"), QStringLiteral("0.0.0.0"));
    state.Server_port = static_cast<quint16>(m_file.readInt(Connections, QStringLiteral("Server_port"), 10000));
    state.Base_address = m_file.readString(Connections, QStringLiteral("Base_address"), QStringLiteral("0.0.0.0"));
    state.Base_port = static_cast<quint16>(m_file.readInt(Connections, QStringLiteral("Base_port"), 3306));
}

bool ConfigIni::writeAtClose(const StationState &state)
{
    // One save for the five keys: the file is written once, not once per key.
    return saved(m_file.writeStrings({
        {Connections, QStringLiteral("Server_address"), state.Server_address},
        {Connections, QStringLiteral("Server_port"), QString::number(state.Server_port)},
        {Connections, QStringLiteral("Base_address"), state.Base_address},
        {Connections, QStringLiteral("Base_port"), QString::number(state.Base_port)},
        {Users, QStringLiteral("Index"), QString::number(state.User_index)},
    }));
}

int ConfigIni::userCount() const
{
    return std::clamp(m_file.readInt(Users, QStringLiteral("Count"), 1), 0, MaxUsers);
}

int ConfigIni::userIndex() const
{
    return m_file.readInt(Users, QStringLiteral("Index"), 0);
}

QString ConfigIni::userSection(int n)
{
    return QStringLiteral("User") + QString::number(n);
}

QString ConfigIni::userLogin(int n) const
{
    return m_file.readString(userSection(n), QStringLiteral("Login"), Pilot);
}

QString ConfigIni::userPass(int n) const
{
    return m_file.readString(userSection(n), QStringLiteral("Pass"), Pilot);
}

bool ConfigIni::writeUserCount(int count)
{
    return saved(m_file.writeInt(Users, QStringLiteral("Count"), count));
}

bool ConfigIni::writeUser(int n, const QString &login, const QString &pass)
{
    return saved(m_file.writeStrings({
        {userSection(n), QStringLiteral("Login"), login},
        {userSection(n), QStringLiteral("Pass"), pass},
    }));
}

bool ConfigIni::writeUsers(const QList<LocalUser> &users)
{
    QList<ProfileFile::Entry> entries;
    entries.reserve(1 + 2 * users.size());
    entries.append({Users, QStringLiteral("Count"), QString::number(users.size())});
    for (qsizetype n = 0; n < users.size(); ++n) {
        entries.append({userSection(int(n)), QStringLiteral("Login"), users[n].login});
        entries.append({userSection(int(n)), QStringLiteral("Pass"), users[n].pass});
    }
    return saved(m_file.writeStrings(entries), true);
}

int ConfigIni::relinkSeconds() const
{
    // A day at most: a larger value is as good as never, and stays clear of
    // the timer's range.
    return std::clamp(m_file.readInt(QStringLiteral("Reconnect"), QStringLiteral("Server_seconds"),
                                      DefaultRelinkSeconds),
                      0, 86400);
}

ConfigIni::AlarmSettings ConfigIni::readAlarms() const
{
    AlarmSettings settings;
    // A value out of range is a typing error: the default serves better than
    // a reminder every second or never.
    const auto seconds = [this](const QString &key, int fallback) {
        const int value = m_file.readInt(Alarms, key, fallback);
        return value >= 0 && value <= MaxAlarmSeconds ? value : fallback;
    };
    settings.repeatSeconds = seconds(QStringLiteral("Repeat_seconds"), settings.repeatSeconds);
    settings.overdueSeconds = seconds(QStringLiteral("Overdue_seconds"), settings.overdueSeconds);
    return settings;
}

std::optional<ConfigIni::WindowLayout> ConfigIni::readWindow() const
{
    constexpr int Missing = -1;
    const int left = m_file.readInt(Window, QStringLiteral("Left"), Missing);
    const int top = m_file.readInt(Window, QStringLiteral("Top"), Missing);
    const int width = m_file.readInt(Window, QStringLiteral("Width"), Missing);
    const int height = m_file.readInt(Window, QStringLiteral("Height"), Missing);
    // A position may be negative (a screen left of or above the first one),
    // so only the size tells whether anything was stored.
    if (width <= 0 || height <= 0 || width > MaxWindowSide || height > MaxWindowSide)
        return std::nullopt;
    if (left < -MaxWindowSide || left > MaxWindowSide || top < -MaxWindowSide || top > MaxWindowSide)
        return std::nullopt;
    WindowLayout layout;
    layout.geometry = QRect(left, top, width, height);
    layout.maximized = m_file.readInt(Window, QStringLiteral("Maximized"), 0) == 1;
    const int list = m_file.readInt(Window, QStringLiteral("List_height"), 0);
    const int journal = m_file.readInt(Window, QStringLiteral("Journal_height"), 0);
    if (list > 0 && journal > 0 && list <= MaxWindowSide && journal <= MaxWindowSide) {
        layout.listHeight = list;
        layout.journalHeight = journal;
    }
    return layout;
}

bool ConfigIni::writeWindow(const WindowLayout &layout)
{
    // One save: a layout half of one window and half of another would be no use.
    const auto number = [](int value) { return QString::number(value); };
    return saved(m_file.writeStrings({
        {Window, QStringLiteral("Left"), number(layout.geometry.x())},
        {Window, QStringLiteral("Top"), number(layout.geometry.y())},
        {Window, QStringLiteral("Width"), number(layout.geometry.width())},
        {Window, QStringLiteral("Height"), number(layout.geometry.height())},
        {Window, QStringLiteral("Maximized"), number(layout.maximized ? 1 : 0)},
        {Window, QStringLiteral("List_height"), number(layout.listHeight)},
        {Window, QStringLiteral("Journal_height"), number(layout.journalHeight)},
    }));
}
