// Channels, the login, QUIT and the last status shared by every operation.
#include "ftp/ftp_client.h"

#include "ftp/reply.h"

namespace quarvel {

FtpClient::FtpClient(Platform& platform, int timeout_ms)
    : platform_(platform), timeout_ms_(timeout_ms) {}

FtpClient::~FtpClient() = default;

ControlChannel* FtpClient::controlChannel(int number) {
  auto it = channels_.find(number);
  return it == channels_.end() ? nullptr : it->second.get();
}

int FtpClient::addChannel(std::unique_ptr<TcpConnection> connection) {
  int number = next_channel_++;
  channels_[number] =
      std::make_unique<ControlChannel>(std::move(connection), platform_, timeout_ms_);
  return number;
}

void FtpClient::closeChannel(int channel) { channels_.erase(channel); }

int FtpClient::ftpConnect(const std::string& host, int port, const std::string& user,
                          const std::string& password) {
  last_tls_peer_ = TlsPeer();
  last_tls_failure_.clear();
  last_login_silence_.clear();
  last_user_reply_.clear();
  int error_number = 0;
  std::unique_ptr<TcpConnection> connection =
      platform_.connectTcp(host, port, timeout_ms_, &error_number);
  if (!connection) {
    setLastStatus(localErrorLine(error_number, "Unable to open socket"));
    return -1;
  }
  int control = addChannel(std::move(connection));

  // Every line of the greeting must carry 220; the whole greeting gets one
  // time-out.
  std::int64_t deadline = deadlineFromNow();
  for (;;) {
    std::string line = readReplyLine(control, deadline);
    if (replyCode(line) != 220) {
      setLastStatus(line);
      if (line.empty()) noteLoginSilence(control, "greeting");
      closeChannel(control);
      return -1;
    }
    if (!isContinuationLine(line)) break;
  }
  if (make_tls_ && !secureControl(control, host)) {
    closeChannel(control);
    return -1;
  }

  // Only a 331 to USER earns the password; the next line that announces no
  // further lines (after PASS, or after USER when no PASS was sent) is the
  // login result, so a multi-line USER reply fails the login.
  Sent sent = sendCommand(control, "USER " + user);
  if (sent == Sent::kSent) last_user_reply_ = readReplyLine(control);
  if (sent == Sent::kSent && replyCode(last_user_reply_) == 331) {
    sent = sendCommand(control, "PASS " + password);
  }
  std::string result = sent == Sent::kSent ? readFinalLine(control) : sendFailureLine(sent);
  setLastStatus(result);
  if (sent == Sent::kSent && result.empty()) noteLoginSilence(control, "reply to the login");
  if (replyCode(result) != 230 || (make_tls_ && !protectDataChannels(control))) {
    closeChannel(control);
    return -1;
  }
  setLastStatus(result);
  return control;
}

void FtpClient::noteLoginSilence(int channel, const std::string& awaited) {
  ControlChannel* c = controlChannel(channel);
  if (c == nullptr || !c->ended()) return;  // an empty line did come
  if (c->waitRanOut()) {
    last_login_silence_ =
        "no " + awaited + " within " + std::to_string((timeout_ms_ + 999) / 1000) + " s";
  } else {
    last_login_silence_ = "the connection closed before the " + awaited;
  }
}

void FtpClient::ftpQuit(int channel) {
  setLastStatus(exchangeToFinalLine(channel, "QUIT"));
  closeChannel(channel);
}

FtpClient::Sent FtpClient::sendCommand(int channel, const std::string& command) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr ? Sent::kNoChannel : c->send(command);
}

std::string FtpClient::readReplyLine(int channel, std::int64_t deadline_ms) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr ? std::string() : c->readLine(deadline_ms);
}

FtpClient::Reply FtpClient::readReply(int channel, std::int64_t deadline_ms,
                                      std::size_t max_bytes) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr ? Reply() : c->readReply(deadline_ms, max_bytes);
}

bool FtpClient::atEndOfData(int channel) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr || c->atEndOfData();
}

bool FtpClient::channelEnded(int channel) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr || c->ended();
}

void FtpClient::setLastStatus(const std::string& line) {
  last_code_ = replyCode(line);
  last_message_ = replyText(line);
}

std::string FtpClient::exchange(int channel, const std::string& command) {
  if (controlChannel(channel) == nullptr) return std::string();
  Sent sent = sendCommand(channel, command);
  return sent == Sent::kSent ? readReplyLine(channel) : sendFailureLine(sent);
}

std::string FtpClient::exchangeToFinalLine(int channel, const std::string& command) {
  std::string line = exchange(channel, command);
  return isContinuationLine(line) ? readFinalLine(channel) : line;
}

std::string FtpClient::sendFailureLine(Sent result) {
  return result == Sent::kBroken ? "421 Unable to send command"
                                 : "501 Command refused: it holds a line break";
}

std::string FtpClient::readFinalLine(int channel) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr ? std::string() : c->readFinalLine();
}

int FtpClient::openDataChannel(const std::string& host, int port) {
  int error_number = 0;
  std::unique_ptr<TcpConnection> connection =
      platform_.connectTcp(host, port, timeout_ms_, &error_number);
  if (!connection) return -1;
  return addChannel(std::move(connection));
}

long FtpClient::receiveBlock(int channel, char* block, std::size_t size) {
  ControlChannel* c = controlChannel(channel);
  return c == nullptr ? -1 : c->receiveBlock(block, size);
}

int FtpClient::sendBlock(int channel, const char* data, std::size_t size) {
  ControlChannel* c = controlChannel(channel);
  return c != nullptr && c->sendBlock(data, size) ? 1 : 0;
}

void FtpClient::showProgress(std::intptr_t window, const std::string& text) {
  if (progress_) {
    progress_(window, text);
  } else {
    platform_.setWindowText(window, text);
  }
}

}  // namespace quarvel
