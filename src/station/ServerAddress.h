#pragma once

#include <QString>

// The monitoring server is reached by a dotted IPv4 address, never by a host
// name to look up.
namespace ServerAddress {

// Four decimal numbers of 0 to 255 joined by dots. The short forms ("127.1")
// and the single number that the address parser also takes are not what an
// operator means.
bool isDottedIpv4(const QString &text);

// What the operator is told when text cannot be connected to: the address is
// missing, or it is named and is no dotted IPv4 address. Empty when it is fine.
QString problem(const QString &text);

} // namespace ServerAddress
