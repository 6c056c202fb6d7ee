// A channel of the FTP client: one open connection and what has been
// received on it but not read. Shared by the files of the client only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "platform/tls.h"

namespace quarvel {

constexpr std::size_t kReceiveBufferSize = 65536;

// One open TCP connection and what has been received on it but not read.
struct FtpClient::Channel {
  explicit Channel(std::unique_ptr<TcpConnection> c)
      : connection(std::move(c)), buffer(kReceiveBufferSize) {}

  // The TLS client whose session this channel's connections share; kept
  // alive as long as any connection made with it.
  std::shared_ptr<TlsClient> tls;
  std::unique_ptr<TcpConnection> connection;
  // A control channel after PROT P: its data connections speak TLS too.
  bool protects_data = false;
  // The certificate the login accepted (SHA-256 hex), for its data
  // connections.
  std::string peer_fingerprint;
  std::vector<char> buffer;
  std::size_t read_pos = 0;
  std::size_t filled = 0;
  bool last_receive_full = false;
  bool sent_since_receive = false;
  bool peer_closed = false;
  bool timed_out = false;

  // The TLS handshake over the connection, through `client` (whose session
  // the channel then shares): false, with `error` saying why, when it fails
  // (the connection is gone then).
  bool startTls(std::shared_ptr<TlsClient> client, const std::string& host, int timeout_ms,
                TlsPeer* peer, std::string* error) {
    connection = client->handshake(std::move(connection), host, timeout_ms, peer, error);
    if (!connection) return false;
    tls = std::move(client);
    return true;
  }

  // Refills the buffer when it has been read: false when nothing came (the
  // peer closed, the wait timed out or the platform reported an error).
  // With a deadline the wait ends there at the latest.
  bool fill(int timeout_ms, Platform& platform, std::int64_t deadline_ms = 0) {
    if (read_pos < filled) return true;
    if (peer_closed) return false;
    if (deadline_ms != 0) {
      std::int64_t left = deadline_ms - platform.monotonicMs();
      if (left <= 0) {
        timed_out = true;
        return false;
      }
      if (left < timeout_ms) timeout_ms = static_cast<int>(left);
    }
    long n = connection->receive(buffer.data(), buffer.size(), timeout_ms);
    sent_since_receive = false;
    read_pos = 0;
    filled = 0;
    last_receive_full = false;
    if (n == 0) {
      peer_closed = true;
      return false;
    }
    if (n < 0) {
      timed_out = true;
      return false;
    }
    filled = static_cast<std::size_t>(n);
    last_receive_full = filled == buffer.size();
    return true;
  }
};

}  // namespace quarvel
