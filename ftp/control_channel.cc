#include "ftp/control_channel.h"

#include <algorithm>
#include <cstring>

#include "ftp/reply.h"

namespace quarvel {

namespace {
// Data connections read through this buffer too: a large one takes a
// transfer in few system calls.
constexpr std::size_t kReceiveBufferSize = 262144;
// Clocks and socket waits round differently: a failed receive this close to
// the end of its wait ran out of time.
constexpr std::int64_t kWaitSlackMs = 20;
}  // namespace

ControlChannel::ControlChannel(std::unique_ptr<TcpConnection> connection, Platform& platform,
                               int timeout_ms)
    : platform_(platform), timeout_ms_(timeout_ms), connection_(std::move(connection)) {}

ControlChannel::Sent ControlChannel::send(const std::string& command) {
  if (command.find_first_of("\r\n") != std::string::npos) return Sent::kLineBreak;
  std::string line = command + "\r\n";
  if (!connection_->sendAll(line.data(), line.size())) return Sent::kBroken;
  sent_since_receive_ = true;
  timed_out_ = false;
  broken_ = false;
  return Sent::kSent;
}

std::int64_t ControlChannel::deadlineFromNow() const {
  return platform_.monotonicMs() + timeout_ms_;
}

bool ControlChannel::fill(std::int64_t deadline_ms) {
  if (read_pos_ < filled_) return true;
  if (peer_closed_) return false;
  int timeout_ms = timeout_ms_;
  if (deadline_ms != 0) {
    std::int64_t left = deadline_ms - platform_.monotonicMs();
    if (left <= 0) {
      timed_out_ = true;
      broken_ = false;
      return false;
    }
    if (left < timeout_ms) timeout_ms = static_cast<int>(left);
  }
  // Made at the first read: a data channel that only sends (an upload) or
  // whose transfer reads straight into its block (a download) never needs
  // it, and fresh memory costs page faults.
  if (buffer_.empty()) buffer_.resize(kReceiveBufferSize);
  std::int64_t wait_ends = platform_.monotonicMs() + timeout_ms;
  long n = connection_->receive(buffer_.data(), buffer_.size(), timeout_ms);
  sent_since_receive_ = false;
  read_pos_ = 0;
  filled_ = 0;
  last_receive_full_ = false;
  if (n == 0) {
    peer_closed_ = true;
    return false;
  }
  if (n < 0) {
    timed_out_ = true;
    broken_ = platform_.monotonicMs() < wait_ends - kWaitSlackMs;
    return false;
  }
  filled_ = static_cast<std::size_t>(n);
  last_receive_full_ = filled_ == buffer_.size();
  return true;
}

std::string ControlChannel::readLine(std::int64_t deadline_ms) {
  if (deadline_ms == 0) deadline_ms = deadlineFromNow();
  LineAssembler assembler;
  while (!assembler.complete() && fill(deadline_ms)) {
    read_pos_ += assembler.feed(buffer_.data() + read_pos_, filled_ - read_pos_);
  }
  return assembler.take();
}

std::string ControlChannel::readFinalLine(std::int64_t deadline_ms) {
  if (deadline_ms == 0) deadline_ms = deadlineFromNow();
  std::string line;
  do {
    line = readLine(deadline_ms);
  } while (isContinuationLine(line));
  return line;
}

ControlChannel::Reply ControlChannel::readReply(std::int64_t deadline_ms, std::size_t max_bytes) {
  Reply reply;
  std::size_t bytes = 0;
  for (;;) {
    std::string line = readLine(deadline_ms);
    bytes += line.size() + 2;
    if (replyCode(line) != 0 && line.size() >= 3 && !isContinuationLine(line)) {
      reply.end = Reply::End::kFinal;
      reply.line = std::move(line);
      return reply;
    }
    if (line.empty() && ended()) {
      reply.end = Reply::End::kChannelEnded;
      reply.timed_out = waitRanOut();
      return reply;
    }
    if (bytes > max_bytes) {
      reply.end = Reply::End::kTooLong;
      return reply;
    }
  }
}

bool ControlChannel::atEndOfData() const {
  if (ended()) return true;
  return read_pos_ == filled_ && !sent_since_receive_ && !last_receive_full_;
}

long ControlChannel::receiveBlock(char* block, std::size_t size) {
  // Nothing buffered and a block as large as the buffer: the data goes
  // straight into the block, one copy less per byte of a transfer.
  if (read_pos_ == filled_ && size >= kReceiveBufferSize && !peer_closed_) {
    long n = connection_->receive(block, size, timeout_ms_);
    sent_since_receive_ = false;
    last_receive_full_ = n > 0 && static_cast<std::size_t>(n) == size;
    if (n == 0) peer_closed_ = true;
    if (n < 0) timed_out_ = true;
    return n;
  }
  if (!fill(0)) return peer_closed_ ? 0 : -1;
  std::size_t n = std::min(size, filled_ - read_pos_);
  std::memcpy(block, buffer_.data() + read_pos_, n);
  read_pos_ += n;
  return static_cast<long>(n);
}

bool ControlChannel::sendBlock(const char* data, std::size_t size) {
  return connection_->sendAll(data, size);
}

bool ControlChannel::startTls(std::shared_ptr<TlsClient> client, const std::string& host,
                              TlsPeer* peer, std::string* error) {
  connection_ = client->handshake(std::move(connection_), host, timeout_ms_, peer, error);
  if (!connection_) return false;
  tls_ = std::move(client);
  return true;
}

}  // namespace quarvel
