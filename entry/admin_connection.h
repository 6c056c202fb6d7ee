// The admin login on the FTP server, used by the test command, the daily
// run and the trial pass.
#pragma once

#include <string>

#include "entry/run.h"

namespace quarvel {

// Logs in with FTP_HOST, FTP_PORT, FTP_USER and FTP_PASS (read afresh): the
// connection number, or 0 when that failed. With FTP_TLS on, the login goes
// over TLS or not at all (a TLS failure is told on standard error).
int openAdminConnection(Run& run);


// The lines the connection has received and not yet read, joined by CR LF;
// waits (up to the client's time-out) only right after a command was sent.
std::string readPendingLines(Run& run, int connection);

}  // namespace quarvel
