#include "entry/admin_connection.h"

#include <climits>

#include "config/numbers.h"
#include "platform/tls.h"

namespace quarvel {

AdminLogin logInAsAdmin(Run& run) {
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
  return AdminLogin(run.ftp, channel);
}

bool adminTlsEnabled(const std::string& value) { return !value.empty() && value != "0"; }

}  // namespace quarvel
