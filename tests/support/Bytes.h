#pragma once

#include <QByteArray>

#include <initializer_list>

// Bytes as they stand in a packet, written as numbers.
inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int value : values)
        out.append(char(value));
    return out;
}
