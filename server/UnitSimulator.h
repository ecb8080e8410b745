#pragma once

#include "ServerDatabase.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>

// Plays the ORVEX units behind the server: a command from a station changes
// the object in the database, is journaled as the network's other writers do
// it, and produces the packets a real unit's answer would cause.
class UnitSimulator
{
public:
    struct Replies {
        QList<QByteArray> toSender;
        QList<QByteArray> toAll; // every logged-in station, the sender included
    };

    UnitSimulator(ServerDatabase &database, const QString &framesDir);

    // packet: a whole type 10 packet; login: the commanding operator.
    Replies handleCommand(const QByteArray &packet, const QString &login);
    // Raises alarm code on the object as its unit would; false when the object
    // is unknown or the database refused the change.
    bool raiseAlarm(const QString &imei, int code, Replies *replies, QString *error);

    static QString alarmText(int code);

private:
    // The object of a command; an unknown IMEI is logged and gets no answer.
    bool findObject(const QString &imei, ServerDatabase::ObjectRow *row);
    Replies statusRequest(const QByteArray &imei);
    Replies guard(const QByteArray &imei, quint8 value, const QString &login);
    Replies output(const QByteArray &imei, quint8 number, quint8 value, const QString &login);
    Replies cameraFrame(const QByteArray &imei, quint8 value, const QString &login);
    Replies voiceCall(const QByteArray &imei, const QByteArray &number, const QString &login);

    // A frame waiting for a second of its own.
    struct WaitingFrame {
        QString imei;
        QString group;
        QString login;
    };
    enum class FrameOutcome { Stored, SecondTaken, Failed };

    QString nextFrame();
    FrameOutcome takeFrame(const QString &imei, const QString &group, const QString &login);
    void storeWaitingFrames();
    void scheduleWaitingFrames();
    void journal(const QString &imei, const QString &date, const QString &type, const QString &event,
                 const QString &group, const QString &user);

    ServerDatabase &m_database;
    QString m_framesDir;
    int m_frameIndex = 0;
    // Newest second each object got a frame in from here (seconds since the
    // epoch), so a burst does not ask the database about every request.
    QHash<QString, qint64> m_frameSecond;
    QList<WaitingFrame> m_waitingFrames;
    QTimer m_frameTimer;
};
