// The admin login on the FTP server, used by the test command, the daily
// run and the trial pass.
#pragma once

#include <string>

#include "entry/run.h"
#include "server/admin_login.h"

namespace quarvel {

// Logs in with FTP_HOST, FTP_PORT, FTP_USER and FTP_PASS (read afresh): the
// login, which holds no channel when that failed (the client's last status
// says why). With FTP_TLS on, the login goes over TLS or not at all (a TLS
// failure is told on standard error).
AdminLogin logInAsAdmin(Run& run);

}  // namespace quarvel
