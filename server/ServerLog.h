#pragma once

#include <QString>

// Every line of the server's log goes to stderr with the time in front, so a
// developer can follow the traffic while the station runs against it.
namespace ServerLog {

void write(const QString &text);

} // namespace ServerLog
