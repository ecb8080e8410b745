#pragma once

#include <QList>
#include <QString>

// How the unit's 24-bit status word is shown on the object card: which bit
// drives which indicator, and when the indicator counts as active.
namespace StatusBits {

struct Row
{
    QString shape;        // the indicator's name
    QString label;        // the text beside it
    int bit = 0;
    bool activeWhenSet = true;
    int output = -1;      // command 10 output number; -1 for a sensor
};

// The sensor rows and the output rows, top to bottom as the card lays them out.
const QList<Row> &sensors();
const QList<Row> &outputs();

constexpr int SimBit = 3;

bool isActive(const Row &row, quint32 word);
// "1" or "2": the SIM card in use.
QString simCard(quint32 word);
// The value that asks an output for the opposite of what its indicator shows.
quint8 outputValue(const Row &row, bool indicatorActive);

} // namespace StatusBits
