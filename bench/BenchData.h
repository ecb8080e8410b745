#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The generated data of the bench: objects spread over a few groups with
// varied states, and journal rows, inserted as multi-row INSERTs. The same
// seed gives the same data on every run.
namespace BenchData {

QStringList groups();
QString imei(int index);
// A state code as the server reports them: not connected, disarmed, armed,
// in processing, alarms.
quint8 randomState(quint32 draw);

// INSERTs of the objects with indexes first .. last-1.
QList<QByteArray> objects(int first, int last);
// INSERTs of count journal rows of the objects 0 .. objectCount-1, one per
// second from start on, oldest first.
QList<QByteArray> messages(int count, int objectCount, const QDateTime &start);

} // namespace BenchData
