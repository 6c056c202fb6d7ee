#include "server/admin_login.h"

#include <utility>

#include "ftp/reply.h"

namespace quarvel {

AdminLogin::AdminLogin(FtpClient& ftp, int channel)
    : ftp_(&ftp), channel_(channel > 0 ? channel : 0) {}

AdminLogin::AdminLogin(AdminLogin&& other) noexcept
    : ftp_(other.ftp_), channel_(std::exchange(other.channel_, 0)) {}

AdminLogin& AdminLogin::operator=(AdminLogin&& other) noexcept {
  if (this != &other) {
    drop();
    ftp_ = other.ftp_;
    channel_ = std::exchange(other.channel_, 0);
  }
  return *this;
}

ControlChannel* AdminLogin::control() const {
  return loggedIn() ? ftp_->controlChannel(channel_) : nullptr;
}

std::string AdminLogin::readPendingLines() {
  if (!loggedIn()) return std::string();
  std::string joined;
  std::size_t bytes = 0;
  // The whole reply gets one time-out, however the peer spaces its lines.
  std::int64_t deadline = ftp_->deadlineFromNow();
  while (bytes < kMaxReplyBytes && !ftp_->atEndOfData(channel_)) {
    std::string line = ftp_->readReplyLine(channel_, deadline);
    if (bytes != 0) joined += "\r\n";
    joined += line;
    bytes += line.size() + 2;
  }
  return joined;
}

void AdminLogin::quit() {
  if (!loggedIn()) return;
  ftp_->ftpQuit(std::exchange(channel_, 0));
}

void AdminLogin::drop() {
  if (!loggedIn()) return;
  ftp_->closeChannel(std::exchange(channel_, 0));
}

}  // namespace quarvel
