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
  long long port = readWholeNumber(run.configValue("FTP_PORT"));
  if (port < INT_MIN || port > INT_MAX) port = -1;
  std::string host = run.configValue("FTP_HOST");
  std::string user = run.configValue("FTP_USER");
  std::string password = run.configValue("FTP_PASS");
  // Without a host there is no configuration to read (each lookup of a
  // missing file would print another error line) and no login either.
  if (!host.empty() && adminTlsEnabled(run.configValue("FTP_TLS"))) {
    run.ftp.requireTls(systemTlsClient, run.configValue("FTP_TLS_FINGERPRINT"));
  } else {
    run.ftp.dropTls();
  }
  int channel = run.ftp.ftpConnect(host, static_cast<int>(port), user, password);
  if (channel <= 0 && !run.ftp.lastTlsFailure().empty()) {
    run.platform.writeErrorLine("FTP TLS login stopped: " + run.ftp.lastTlsFailure());
  }
  return channel > 0 ? channel : 0;
}

bool adminTlsEnabled(const std::string& value) { return !value.empty() && value != "0"; }

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
