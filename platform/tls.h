// TLS on a TCP connection that is already open (explicit FTPS: the control
// connection turns to TLS after AUTH TLS, each data connection right after
// it is opened). tls_openssl.cc (POSIX) and tls_schannel.cc (Windows)
// implement it with the system's own TLS library.
//
// The handshake checks nothing by itself: it reports the server's
// certificate (its SHA-256 fingerprint and whether the system trusts it for
// the host name) and the caller decides whether to go on.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace quarvel {

// What the handshake learnt about the server's certificate.
struct TlsPeer {
  // SHA-256 over the certificate's DER bytes: 64 lower-case hex digits.
  std::string fingerprint;
  // True when the system's trust store accepts the chain for the host name.
  bool trusted = false;
};

// One client side of TLS. Every handshake after the first successful one
// offers that first session for resumption, so the data connections of one
// control connection resume its session (servers may demand it). Keep one
// client per control connection.
class TlsClient {
 public:
  virtual ~TlsClient() = default;

  // Runs the client handshake over `plain` (taken over; destroyed on
  // failure), naming `host` to the server, each wait at most `timeout_ms`.
  // Success: the protected connection, with *peer filled. Failure: null and
  // a one-line reason in *error.
  virtual std::unique_ptr<TcpConnection> handshake(std::unique_ptr<TcpConnection> plain,
                                                   const std::string& host, int timeout_ms,
                                                   TlsPeer* peer, std::string* error) = 0;
};

// Reads and drops what has already arrived on a connection, without
// waiting. A socket closed with unread data (a session ticket the server sent
// after the handshake, say) makes the system reset the connection, and the
// reset can make the server drop the end of an upload it has not read yet.
inline void dropArrivedBytes(TcpConnection& plain) {
  char scratch[4096];
  for (int i = 0; i < 256 && plain.receive(scratch, sizeof scratch, 0) > 0; ++i) {
  }
}

// The TLS client of the system's TLS library; null when the build has none.
std::unique_ptr<TlsClient> systemTlsClient();

}  // namespace quarvel
