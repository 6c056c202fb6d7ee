#include "entry/admin_connection.h"

#include <climits>

#include "config/text.h"
#include "ftp/reply.h"
#include "platform/tls.h"

namespace quarvel {
int openAdminConnection(Run& run) {
  AdminLoginSettings login = run.settings.adminLogin();
  long long port = login.port;
  if (port < INT_MIN || port > INT_MAX) port = -1;
  if (login.tls) {
    run.ftp.requireTls(systemTlsClient, login.tls_fingerprint);
  } else {
    run.ftp.dropTls();
  }
  int channel = run.ftp.ftpConnect(login.host, static_cast<int>(port), login.user, login.password);
  if (channel <= 0 && !run.ftp.lastTlsFailure().empty()) {
    run.platform.writeErrorLine("FTP TLS login stopped: " + run.ftp.lastTlsFailure());
  }
  return channel > 0 ? channel : 0;
}


std::string readPendingLines(Run& run, int connection) {
  std::vector<std::string> lines;
  std::size_t bytes = 0;
  // The whole reply gets one time-out, however the peer spaces its lines.
  std::int64_t deadline = run.ftp.deadlineFromNow();
  while (bytes < kMaxReplyBytes && !run.ftp.atEndOfData(connection)) {
    lines.push_back(run.ftp.readReplyLine(connection, deadline));
    bytes += lines.back().size() + 2;
  }
  return joinLines(lines);
}

}  // namespace quarvel
