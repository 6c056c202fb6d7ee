// One connection of the FTP client with its receive buffer, and the line
// engine of a control connection on it: send a command line, read reply
// lines and whole replies within one deadline, start TLS on it. The FTP
// client's operations and the admin session both talk to the server
// through it; the client numbers its channels and keeps the last status.
// A data connection is a channel too: its blocks come through the same
// buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/tls.h"

namespace quarvel {

class ControlChannel {
 public:
  enum class Sent {
    kSent,
    kNoChannel,  // no such channel (never opened, or closed)
    kLineBreak,  // the command holds CR or LF and is never sent
    kBroken,     // the platform reported a send error
  };

  // A whole reply, read line by line up to its final line: the first one
  // whose first three characters hold a reply code and which announces no
  // further lines. Other lines (continuations, or lines without a code) are
  // passed over. It ends early when the channel ends (`line` is then the
  // empty text) or when more than `max_bytes` (lines counted with CR LF)
  // arrived without a final line. A channel that ended says why: a wait ran
  // out (`timed_out`), or the peer closed or the connection broke.
  struct Reply {
    enum class End { kFinal, kChannelEnded, kTooLong };
    End end = End::kChannelEnded;
    std::string line;  // the final line
    bool timed_out = false;
  };

  // Every wait on the channel takes at most `timeout_ms`.
  ControlChannel(std::unique_ptr<TcpConnection> connection, Platform& platform, int timeout_ms);

  // Sends the command and CR LF in one piece.
  Sent send(const std::string& command);

  // One reply line: CRs dropped, up to LF, at most kMaxReplyLineLength
  // characters (the rest of a longer line is read and dropped). A line cut
  // short by the peer's close or a time-out is given as far as it arrived,
  // so the call gives the empty text when nothing came.
  // A line gets at most the time-out in all, so a peer that trickles bytes
  // cannot hold a run; `deadline_ms` (from deadlineFromNow) bounds several
  // reads together instead, as a reply of many lines is read.
  std::string readLine(std::int64_t deadline_ms = 0);
  // Reads lines until one that does not announce more lines.
  std::string readFinalLine(std::int64_t deadline_ms = 0);
  Reply readReply(std::int64_t deadline_ms, std::size_t max_bytes);

  // The clock reading one time-out from now.
  std::int64_t deadlineFromNow() const;

  // True when everything received so far has been read and the last
  // receive did not fill the receive buffer, or the peer closed, or a wait
  // timed out. Sending a command clears it.
  bool atEndOfData() const;
  // True when nothing more can arrive: the peer closed or a wait timed out.
  bool ended() const { return peer_closed_ || timed_out_; }
  // True when the channel ended because a wait ran to its end. A receive
  // that failed well before its wait was over broke the connection instead.
  bool waitRanOut() const { return timed_out_ && !broken_; }

  // Up to `size` bytes of what has arrived: the count, 0 when the peer
  // closed, -1 on a time-out or an error.
  long receiveBlock(char* block, std::size_t size);
  // Sends all bytes: false on an error.
  bool sendBlock(const char* data, std::size_t size);

  // --- TLS -----------------------------------------------------------------
  // Drops what was received but not read (plain text that must not pass
  // for part of the protected session).
  void dropUnread() { read_pos_ = filled_ = 0; }
  // The handshake over the connection, through `client` (whose session the
  // channel then shares): false, with `error` saying why, when it fails
  // (the connection is gone then).
  bool startTls(std::shared_ptr<TlsClient> client, const std::string& host, TlsPeer* peer,
                std::string* error);
  bool secured() const { return tls_ != nullptr; }
  // The TLS client whose session this channel's data connections resume.
  const std::shared_ptr<TlsClient>& tlsClient() const { return tls_; }

  // A control channel after PROT P: its data connections speak TLS too.
  bool protects_data = false;
  // The certificate the login accepted (SHA-256 hex), for its data
  // connections.
  std::string peer_fingerprint;

 private:
  // Refills the buffer when it has been read: false when nothing came (the
  // peer closed, the wait timed out or the platform reported an error).
  // With a deadline the wait ends there at the latest.
  bool fill(std::int64_t deadline_ms);

  Platform& platform_;
  int timeout_ms_;
  // Kept alive as long as any connection made with it.
  std::shared_ptr<TlsClient> tls_;
  std::unique_ptr<TcpConnection> connection_;
  std::vector<char> buffer_;
  std::size_t read_pos_ = 0;
  std::size_t filled_ = 0;
  bool last_receive_full_ = false;
  bool sent_since_receive_ = false;
  bool peer_closed_ = false;
  bool timed_out_ = false;
  bool broken_ = false;
};

}  // namespace quarvel
