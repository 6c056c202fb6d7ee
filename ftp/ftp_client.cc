// Channels, the login, QUIT and the line engine shared by every operation.
#include "ftp/ftp_client.h"

#include <algorithm>
#include <cstring>

#include "ftp/channel.h"
#include "ftp/reply.h"

namespace quarvel {

FtpClient::FtpClient(Platform& platform, int timeout_ms)
    : platform_(platform), timeout_ms_(timeout_ms) {}

FtpClient::~FtpClient() = default;

FtpClient::Channel* FtpClient::channel(int number) {
  auto it = channels_.find(number);
  return it == channels_.end() ? nullptr : it->second.get();
}

int FtpClient::addChannel(std::unique_ptr<TcpConnection> connection) {
  int number = next_channel_++;
  channels_[number] = std::make_unique<Channel>(std::move(connection));
  return number;
}

void FtpClient::closeChannel(int channel) { channels_.erase(channel); }

int FtpClient::ftpConnect(const std::string& host, int port,
                          const std::string& user,
                          const std::string& password) {
  last_tls_peer_ = TlsPeer();
  last_tls_failure_.clear();
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
  if (sent == Sent::kSent && replyCode(readReplyLine(control)) == 331) {
    sent = sendCommand(control, "PASS " + password);
  }
  std::string result =
      sent == Sent::kSent ? readFinalLine(control) : sendFailureLine(sent);
  setLastStatus(result);
  if (replyCode(result) != 230 || (make_tls_ && !protectDataChannels(control))) {
    closeChannel(control);
    return -1;
  }
  setLastStatus(result);
  return control;
}

void FtpClient::ftpQuit(int channel) {
  setLastStatus(exchangeToFinalLine(channel, "QUIT"));
  closeChannel(channel);
}

FtpClient::Sent FtpClient::sendCommand(int channel, const std::string& command) {
  Channel* c = this->channel(channel);
  if (c == nullptr) return Sent::kNoChannel;
  if (command.find_first_of("\r\n") != std::string::npos) return Sent::kLineBreak;
  std::string line = command + "\r\n";
  if (!c->connection->sendAll(line.data(), line.size())) return Sent::kBroken;
  c->sent_since_receive = true;
  c->timed_out = false;
  return Sent::kSent;
}

std::string FtpClient::readReplyLine(int channel, std::int64_t deadline_ms) {
  Channel* c = this->channel(channel);
  if (c == nullptr) return std::string();
  if (deadline_ms == 0) deadline_ms = deadlineFromNow();
  LineAssembler assembler;
  while (!assembler.complete() && c->fill(timeout_ms_, platform_, deadline_ms)) {
    c->read_pos += assembler.feed(c->buffer.data() + c->read_pos,
                                  c->filled - c->read_pos);
  }
  return assembler.take();
}

FtpClient::Reply FtpClient::readReply(int channel, std::int64_t deadline_ms,
                                      std::size_t max_bytes) {
  Reply reply;
  std::size_t bytes = 0;
  for (;;) {
    std::string line = readReplyLine(channel, deadline_ms);
    bytes += line.size() + 2;
    if (replyCode(line) != 0 && line.size() >= 3 && !isContinuationLine(line)) {
      reply.end = Reply::End::kFinal;
      reply.line = std::move(line);
      return reply;
    }
    if (line.empty() && dataEnded(channel)) {
      reply.end = Reply::End::kChannelEnded;
      return reply;
    }
    if (bytes > max_bytes) {
      reply.end = Reply::End::kTooLong;
      return reply;
    }
  }
}

bool FtpClient::atEndOfData(int channel) {
  Channel* c = this->channel(channel);
  if (c == nullptr || c->peer_closed || c->timed_out) return true;
  return c->read_pos == c->filled && !c->sent_since_receive &&
         !c->last_receive_full;
}

bool FtpClient::dataEnded(int channel) {
  Channel* c = this->channel(channel);
  return c == nullptr || c->peer_closed || c->timed_out;
}

void FtpClient::setLastStatus(const std::string& line) {
  last_code_ = replyCode(line);
  last_message_ = replyText(line);
}

std::string FtpClient::exchange(int channel, const std::string& command) {
  if (this->channel(channel) == nullptr) return std::string();
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

std::string FtpClient::readFinalLine(int channel, std::int64_t deadline_ms) {
  if (deadline_ms == 0) deadline_ms = deadlineFromNow();
  std::string line;
  do {
    line = readReplyLine(channel, deadline_ms);
  } while (isContinuationLine(line));
  return line;
}

int FtpClient::openDataChannel(const std::string& host, int port) {
  int error_number = 0;
  std::unique_ptr<TcpConnection> connection =
      platform_.connectTcp(host, port, timeout_ms_, &error_number);
  if (!connection) return -1;
  return addChannel(std::move(connection));
}

long FtpClient::receiveBlock(int channel, char* block) {
  Channel* c = this->channel(channel);
  if (c == nullptr) return -1;
  if (!c->fill(timeout_ms_, platform_)) return c->peer_closed ? 0 : -1;
  std::size_t n = std::min(kBlockSize, c->filled - c->read_pos);
  std::memcpy(block, c->buffer.data() + c->read_pos, n);
  c->read_pos += n;
  return static_cast<long>(n);
}

int FtpClient::sendBlock(int channel, const char* data, std::size_t size) {
  Channel* c = this->channel(channel);
  if (c == nullptr) return 0;
  return c->connection->sendAll(data, size) ? 1 : 0;
}

void FtpClient::showProgress(std::intptr_t window, const std::string& text) {
  if (progress_) {
    progress_(window, text);
  } else {
    platform_.setWindowText(window, text);
  }
}

}  // namespace quarvel
