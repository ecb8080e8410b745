#pragma once

#include "Database.h"
#include "DatabaseWatcher.h"
#include "OperatorRights.h"
#include "SoundPlayer.h"
#include "StationState.h"

#include <QObject>

#include <memory>

class Dialogs;
class ServerLink;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;

// The running station: its state, its services (the database connection,
// the server link, the operator's rights, the sound player), made before the
// windows and handed to them, and its seven windows, created once in their
// order and connected to each other here. The login window comes first and
// is the main form: the station ends when it closes (applicationEnd).
class Station : public QObject
{
    Q_OBJECT

public:
    // homeDir holds Config.ini and the other files beside the executable.
    Station(const QString &homeDir, Dialogs *dialogs, QObject *parent = nullptr);
    ~Station() override;

    StationState &state() { return m_state; }
    Database &database() { return m_database; }
    DatabaseWatcher &watcher() { return m_watcher; }
    ServerLink &link() { return *m_link; }
    OperatorRights &rights() { return m_rights; }
    TForm1 *form1() const { return m_form1.get(); }
    TForm2 *form2() const { return m_form2.get(); }
    TForm3 *form3() const { return m_form3.get(); }
    TForm4 *form4() const { return m_form4.get(); }
    TForm5 *form5() const { return m_form5.get(); }
    TForm6 *form6() const { return m_form6.get(); }
    TForm7 *form7() const { return m_form7.get(); }

    // Shows the main form.
    void start();

signals:
    void applicationEnd();

private:
    void wire();

    StationState m_state;
    Database m_database{m_state};
    DatabaseWatcher m_watcher{m_state, m_database};
    std::unique_ptr<ServerLink> m_link;
    OperatorRights m_rights{m_state, m_database};
    QtSoundPlayer m_sounds;
    // Destroyed in reverse order: the main window last but one, the login window last.
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm4> m_form4;
    std::unique_ptr<TForm5> m_form5;
    std::unique_ptr<TForm6> m_form6;
    std::unique_ptr<TForm7> m_form7;
};
