#pragma once

#include <QString>

namespace tq3::standin {

// Receives the desks' call datagrams on 127.0.0.1:port and prints each one,
// decoded from Windows-1252, with its time. UConnDP.txt in the archive folder
// reads "True" while it listens and "False" once it stops (SIGINT, SIGTERM or
// after `seconds` when above 0). Returns the process exit code.
int serve(const QString &archiveFolder, quint16 port, int seconds);

} // namespace tq3::standin
