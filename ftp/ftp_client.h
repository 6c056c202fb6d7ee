// The FTP client: numbered control and data channels over the platform's
// TCP connections, reply lines, the last status pair and the FTP
// operations. ftp_api.h exports the same operations to C callers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quarvel {

class FtpClient {
 public:
  static constexpr int kDefaultTimeoutMs = 60000;

  explicit FtpClient(Platform& platform, int timeout_ms = kDefaultTimeoutMs);
  ~FtpClient();

  // Connects, reads the 220 greeting and logs in: the control channel (> 0),
  // or -1 with the last status telling why.
  int ftpConnect(const std::string& host, int port, const std::string& user,
                 const std::string& password);

  // Sends QUIT, reads the reply, closes the channel.
  void ftpQuit(int channel);

  // Closes a channel's socket without sending anything.
  void closeChannel(int channel);

  // Sends the command and CR LF in one piece. A command holding CR or LF is
  // never sent. 0 on success, else an error number (the platform's, or 1 for
  // an unknown channel or a refused command line).
  int sendCommand(int channel, const std::string& command);

  // One reply line: CRs dropped, up to LF, at most 65,536 characters; empty
  // on a time-out or when the peer closed.
  std::string readReplyLine(int channel);

  // True when everything received so far has been read and the last receive
  // did not fill the receive buffer, or the peer closed, or a wait timed out.
  // Sending a command clears it.
  bool atEndOfData(int channel);

  int lastStatusCode() const { return last_code_; }
  const std::string& lastStatusMessage() const { return last_message_; }
  // Sets the pair from a line: its reply code and its text from the fourth
  // character on, trimmed.
  void setLastStatus(const std::string& line);

  void setTimeout(int timeout_ms) { timeout_ms_ = timeout_ms; }
  int timeout() const { return timeout_ms_; }

  Platform& platform() { return platform_; }

 private:
  struct Channel;
  Channel* channel(int number);

  Platform& platform_;
  int timeout_ms_;
  int next_channel_ = 1;
  std::map<int, std::unique_ptr<Channel>> channels_;
  int last_code_ = 0;
  std::string last_message_;
};

// The reply code of a line: the value of its first three characters, 0 when
// they are not digits.
int replyCode(const std::string& line);

}  // namespace quarvel
