#include "entry/admin_connection.h"

#include <climits>

#include "config/numbers.h"
#include "config/text.h"
#include "platform/tls.h"

namespace quarvel {
namespace {

// A reply is a few lines; a peer that keeps sending is not followed further
// than this, so collecting a reply always ends.
constexpr std::size_t kMaxPendingBytes = 1 << 20;

}  // namespace

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
  while (bytes < kMaxPendingBytes && !run.ftp.atEndOfData(connection)) {
    lines.push_back(run.ftp.readReplyLine(connection, deadline));
    bytes += lines.back().size() + 2;
  }
  return joinLines(lines);
}

}  // namespace quarvel
