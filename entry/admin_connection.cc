#include "entry/admin_connection.h"

#include <climits>

#include "platform/tls.h"

namespace quarvel {

AdminLogin logInAsAdmin(Run& run) {
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
  return AdminLogin(run.ftp, channel);
}

}  // namespace quarvel
