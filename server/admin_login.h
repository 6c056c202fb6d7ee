// One admin login on the FTP server: the control channel of the FTP client
// that the login made, owned by this object. The channel is closed when the
// object goes (dropped without a word) unless it was ended with QUIT first,
// so no path of a run can leave a login open or close one twice.
#pragma once

#include <cstddef>
#include <string>

#include "ftp/control_channel.h"
#include "ftp/ftp_client.h"

namespace quarvel {

class AdminLogin {
 public:
  // No login.
  AdminLogin() = default;
  // Takes over `channel` of `ftp` (from ftpConnect); a channel of 0 or less
  // is no login.
  AdminLogin(FtpClient& ftp, int channel);
  ~AdminLogin() { drop(); }
  AdminLogin(AdminLogin&& other) noexcept;
  AdminLogin& operator=(AdminLogin&& other) noexcept;
  AdminLogin(const AdminLogin&) = delete;
  AdminLogin& operator=(const AdminLogin&) = delete;

  bool loggedIn() const { return channel_ > 0; }
  // The channel's number in the client; 0 when there is no login.
  int channel() const { return channel_; }
  // Its line engine; null when there is no login.
  ControlChannel* control() const;

  // The lines received and not yet read, joined by CR LF; waits (up to the
  // client's time-out, for the whole reply) only right after a command was
  // sent.
  std::string readPendingLines();

  // Sends QUIT, reads the reply and closes the channel (the client's last
  // status is the reply).
  void quit();
  // Closes the channel without sending anything.
  void drop();

 private:
  FtpClient* ftp_ = nullptr;
  int channel_ = 0;
};

}  // namespace quarvel
