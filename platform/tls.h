// TLS on a TCP connection that is already open (explicit FTPS: the control
// connection turns to TLS after AUTH TLS, each data connection right after
// it is opened). tls_openssl.cc (POSIX) and tls_schannel.cc (Windows)
// implement it with the system's own TLS library.
//
// The handshake checks nothing by itself: it reports the server's
// certificate (its SHA-256 fingerprint and whether the system trusts it for
// the host name) and the caller decides whether to go on.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace quarvel {

// What the handshake learnt about the server's certificate.
struct TlsPeer {
  TlsPeer() = default;
  TlsPeer(std::string fingerprint_seen, bool trusted_by_system)
      : fingerprint(std::move(fingerprint_seen)), trusted(trusted_by_system) {}

  // SHA-256 over the certificate's DER bytes: 64 lower-case hex digits.
  std::string fingerprint;
  // True when the system's trust store accepts the chain for the host name.
  bool trusted = false;
  // What the handshake agreed on, as the TLS library names it ("TLSv1.3",
  // "TLS_AES_256_GCM_SHA384"); empty when it cannot tell.
  std::string protocol;
  std::string cipher;
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

// Ends a connection whose protected stream has been closed: sends a FIN,
// then reads and drops what still comes until the server closes its side,
// for at most `timeout_ms` in all. Closing a socket while the server still
// sends (a session ticket it sent late, say) makes the system reset the
// connection, and the reset can make the server drop the end of an upload
// it has not read yet; a server closes its side only after it has read ours.
inline void closeAfterPeer(TcpConnection& plain, int timeout_ms) {
  plain.endSending();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char scratch[4096];
  for (;;) {
    long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                         deadline - std::chrono::steady_clock::now())
                         .count();
    if (left < 0 || plain.receive(scratch, sizeof scratch, static_cast<int>(left)) <= 0) return;
  }
}

// How long a closed connection waits for the server's side to close: the
// late bytes it guards against come right after the handshake, so a server
// that has gone quiet costs at most a few seconds more, not a whole time-out.
inline int lingerMs(int timeout_ms) { return timeout_ms < 5000 ? timeout_ms : 5000; }

// The client when the system's TLS library cannot be loaded: every
// handshake fails with the reason.
class UnavailableTlsClient : public TlsClient {
 public:
  explicit UnavailableTlsClient(std::string why) : why_(std::move(why)) {}
  std::unique_ptr<TcpConnection> handshake(std::unique_ptr<TcpConnection>, const std::string&, int,
                                           TlsPeer*, std::string* error) override {
    *error = "TLS is not available: " + why_;
    return nullptr;
  }

 private:
  std::string why_;
};

// The TLS client of the system's TLS library, loaded at the first call; an
// UnavailableTlsClient when it cannot be loaded.
std::unique_ptr<TlsClient> systemTlsClient();

}  // namespace quarvel
