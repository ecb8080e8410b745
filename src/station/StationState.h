#pragma once

#include <QDateTime>
#include <QString>

class Dialogs;

// The record of one running station: who is logged in, where the servers are,
// whether the database is connected, the rights, the sound
// switch, the selected object and the clock. It is made once at start-up and
// handed to every part that needs it; tests make their own.
struct StationState
{
    QString Login;
    QString Password;

    QString Server_address;
    quint16 Server_port = 0;
    QString Base_address;
    quint16 Base_port = 0;

    // The station's database connection is open (kept by Database).
    bool Base_connected = false;

    bool Full_rights = false;
    quint8 User_index = 0;
    bool Sound_on = true;

    QString Selected_IMEI;
    int Selected_index = 0;

    QDateTime Clock;
    quint16 Tick_count = 0;

    // The folder of Config.ini, Images.txt, the sound and frame files: the
    // executable's folder in the product, a scratch folder in tests.
    QString Home_dir;

    // Message and confirmation boxes.
    Dialogs *dialogs = nullptr;

    // The operator has been told that Config.ini cannot be written: once is
    // enough, every later save would fail alike.
    bool Config_unsaved_told = false;

    QString homeFile(const QString &fileName) const;
};
