// TLS with OpenSSL, the system's TLS library on Linux. The library is
// loaded from the system (dlopen of the libssl the program was built
// against) when the first TLS client is made, not at start-up: binding it
// costs every run about 3 million instructions and several milliseconds,
// and only a TLS login uses it. The functions are called through a table of
// pointers typed from OpenSSL's own headers.
// The records run over the TcpConnection given, through a small BIO, so the
// socket code and its time-outs stay in one place.
#include <dlfcn.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/tls.h"

namespace quarvel {
namespace {

#define QUARVEL_OPENSSL_FUNCTIONS(X)                                                           \
  X(SSL_CTX_new)                                                                               \
  X(TLS_client_method) X(SSL_CTX_set_default_verify_paths) X(SSL_CTX_set_verify)               \
      X(SSL_CTX_set_ex_data) X(SSL_CTX_get_ex_data) X(SSL_CTX_ctrl) X(SSL_CTX_sess_set_new_cb) \
          X(SSL_CTX_free) X(SSL_new) X(SSL_ctrl) X(SSL_set1_host) X(SSL_set_session)           \
              X(SSL_SESSION_free) X(SSL_get1_peer_certificate) X(SSL_get_verify_result)        \
                  X(SSL_get_SSL_CTX) X(SSL_set_bio) X(SSL_connect) X(SSL_read) X(SSL_write)    \
                      X(SSL_get_error) X(SSL_shutdown) X(SSL_free) X(BIO_new) X(BIO_get_data)  \
                          X(BIO_set_data) X(BIO_set_init) X(BIO_clear_flags) X(BIO_meth_new)   \
                              X(BIO_get_new_index) X(BIO_meth_set_write) X(BIO_meth_set_read)  \
                                  X(BIO_meth_set_ctrl) X(ERR_get_error) X(ERR_clear_error)     \
                                      X(ERR_error_string_n) X(X509_digest) X(X509_free)        \
                                          X(EVP_sha256) X(SSL_CTX_set_default_read_buffer_len) \
                                              X(SSL_get_version) X(SSL_get_current_cipher)     \
                                                  X(SSL_CIPHER_get_name)

// The functions of libssl and libcrypto this file calls, each typed as its
// declaration in OpenSSL's headers.
struct OpensslFunctions {
#define QUARVEL_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
  QUARVEL_OPENSSL_FUNCTIONS(QUARVEL_OPENSSL_POINTER)
#undef QUARVEL_OPENSSL_POINTER
};

#define QUARVEL_TEXT(x) #x
#define QUARVEL_SONAME(version) "libssl.so." QUARVEL_TEXT(version)
// The major version the program was compiled against: its functions have
// the types of the headers used here.
constexpr char kLibssl[] = QUARVEL_SONAME(OPENSSL_SHLIB_VERSION);

// Loads the library once; null, with the reason in *why, when it or one of
// its functions cannot be found. libssl brings libcrypto with it, and a
// search through the handle covers both.
const OpensslFunctions* loadOpenssl(std::string* why) {
  static OpensslFunctions functions;
  static std::string failure = [] {
    void* library = dlopen(kLibssl, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return std::string(dlerror());
#define QUARVEL_OPENSSL_BIND(name)                                                    \
  functions.name = reinterpret_cast<decltype(functions.name)>(dlsym(library, #name)); \
  if (functions.name == nullptr) return std::string(kLibssl) + " has no " #name;
    QUARVEL_OPENSSL_FUNCTIONS(QUARVEL_OPENSSL_BIND)
#undef QUARVEL_OPENSSL_BIND
    return std::string();
  }();
  *why = failure;
  return failure.empty() ? &functions : nullptr;
}

// The loaded functions; only called once loadOpenssl() has succeeded (an
// OpensslClient exists only then).
const OpensslFunctions& openssl() {
  std::string why;
  return *loadOpenssl(&why);
}

// What the BIO reads and writes through, and how its last read ended.
struct Transport {
  TcpConnection* plain = nullptr;
  int timeout_ms = 0;
  bool timed_out = false;
};

int transportWrite(BIO* bio, const char* data, int size) {
  auto* transport = static_cast<Transport*>(openssl().BIO_get_data(bio));
  openssl().BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  if (size <= 0) return 0;
  return transport->plain->sendAll(data, static_cast<std::size_t>(size)) ? size : -1;
}

int transportRead(BIO* bio, char* buffer, int size) {
  auto* transport = static_cast<Transport*>(openssl().BIO_get_data(bio));
  openssl().BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
  if (size <= 0) return 0;
  long got =
      transport->plain->receive(buffer, static_cast<std::size_t>(size), transport->timeout_ms);
  if (got < 0) transport->timed_out = true;
  return static_cast<int>(got);
}

long transportControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

BIO_METHOD* transportMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m =
        openssl().BIO_meth_new(openssl().BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quarvel tcp");
    openssl().BIO_meth_set_write(m, transportWrite);
    openssl().BIO_meth_set_read(m, transportRead);
    openssl().BIO_meth_set_ctrl(m, transportControl);
    return m;
  }();
  return method;
}

std::string lastErrorText() {
  unsigned long code = openssl().ERR_get_error();
  openssl().ERR_clear_error();
  if (code == 0) return "the connection ended";
  char text[256];
  openssl().ERR_error_string_n(code, text, sizeof text);
  return text;
}

std::string fingerprintOf(X509* certificate) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (openssl().X509_digest(certificate, openssl().EVP_sha256(), digest, &size) != 1)
    return std::string();
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

class OpensslConnection : public TcpConnection {
 public:
  OpensslConnection(std::unique_ptr<TcpConnection> plain, SSL* ssl)
      : plain_(std::move(plain)), ssl_(ssl) {
    transport_.plain = plain_.get();
    BIO* bio = openssl().BIO_new(transportMethod());
    openssl().BIO_set_data(bio, &transport_);
    openssl().BIO_set_init(bio, 1);
    openssl().SSL_set_bio(ssl_, bio, bio);
  }

  ~OpensslConnection() override {
    // A close_notify tells the server the stream ends here, so an upload's
    // end is not mistaken for a cut connection.
    if (established_) {
      // Session tickets that have arrived are taken in for the next
      // connection; nothing is waited for.
      transport_.timeout_ms = 0;
      char scratch[4096];
      for (int i = 0; i < 64 && openssl().SSL_read(ssl_, scratch, sizeof scratch) > 0; ++i) {
      }
      openssl().ERR_clear_error();
      openssl().SSL_shutdown(ssl_);
    }
    closeAfterPeer(*plain_, established_ ? lingerMs(handshake_timeout_ms_) : 0);
    openssl().SSL_free(ssl_);
  }

  // "" when the handshake completed, else the reason.
  std::string handshake(int timeout_ms) {
    handshake_timeout_ms_ = timeout_ms;
    transport_.timeout_ms = timeout_ms;
    openssl().ERR_clear_error();
    if (openssl().SSL_connect(ssl_) == 1) {
      established_ = true;
      return std::string();
    }
    if (transport_.timed_out) return "TLS handshake: no answer from the server";
    return "TLS handshake failed: " + lastErrorText();
  }

  SSL* ssl() { return ssl_; }

  bool sendAll(const char* data, std::size_t size) override {
    while (size > 0) {
      int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
      int sent = openssl().SSL_write(ssl_, data, chunk);
      if (sent <= 0) {
        openssl().ERR_clear_error();
        return false;
      }
      data += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }

  long receive(char* buffer, std::size_t size, int timeout_ms) override {
    transport_.timeout_ms = timeout_ms;
    transport_.timed_out = false;
    int chunk = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    int got = openssl().SSL_read(ssl_, buffer, chunk);
    if (got > 0) return got;
    int reason = openssl().SSL_get_error(ssl_, got);
    openssl().ERR_clear_error();
    if (reason == SSL_ERROR_ZERO_RETURN) return 0;
    if (transport_.timed_out) return -1;
    // The peer closed the socket without a close_notify: the end, as on a
    // plain connection.
    return reason == SSL_ERROR_SYSCALL ? 0 : -1;
  }

 private:
  std::unique_ptr<TcpConnection> plain_;
  SSL* ssl_;
  Transport transport_;
  int handshake_timeout_ms_ = 0;
  bool established_ = false;
};

// Every connection after the first (the control connection) resumes a
// session of this client, as servers may demand of data connections. With
// TLS 1.3 the server sends tickets after the handshake, and a server with a
// session cache takes each ticket once only; so the tickets of every
// connection are kept, each is offered once, and when none is left the last
// one offered is offered again (TLS 1.2 sessions serve many times).
class OpensslClient : public TlsClient {
 public:
  OpensslClient() {
    context_ = openssl().SSL_CTX_new(openssl().TLS_client_method());
    if (context_ == nullptr) return;
    openssl().SSL_CTX_set_default_verify_paths(context_);
    // The certificate is judged by the caller (trust or a pinned
    // fingerprint), so the handshake must not refuse it on its own.
    openssl().SSL_CTX_set_verify(context_, SSL_VERIFY_NONE, nullptr);
    openssl().SSL_CTX_set_ex_data(context_, 0, this);
    openssl().SSL_CTX_ctrl(context_, SSL_CTRL_SET_SESS_CACHE_MODE,
                           SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE, nullptr);
    openssl().SSL_CTX_sess_set_new_cb(context_, newSession);
    // Each read from the socket takes in as many records as have arrived,
    // not a record's header and then its body.
    openssl().SSL_CTX_ctrl(context_, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
    openssl().SSL_CTX_set_default_read_buffer_len(context_, kReadBufferSize);
  }

  ~OpensslClient() override {
    for (SSL_SESSION* session : unused_) openssl().SSL_SESSION_free(session);
    if (last_offered_ != nullptr) openssl().SSL_SESSION_free(last_offered_);
    if (context_ != nullptr) openssl().SSL_CTX_free(context_);
  }

  std::unique_ptr<TcpConnection> handshake(std::unique_ptr<TcpConnection> plain,
                                           const std::string& host, int timeout_ms, TlsPeer* peer,
                                           std::string* error) override {
    SSL* ssl = context_ != nullptr ? openssl().SSL_new(context_) : nullptr;
    if (ssl == nullptr) {
      *error = "TLS is not available: " + lastErrorText();
      return nullptr;
    }
    openssl().SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(host.c_str()));
    openssl().SSL_set1_host(ssl, host.c_str());
    offerSession(ssl);
    auto connection = std::make_unique<OpensslConnection>(std::move(plain), ssl);
    std::string why = connection->handshake(timeout_ms);
    if (!why.empty()) {
      *error = why;
      return nullptr;
    }
    X509* certificate = openssl().SSL_get1_peer_certificate(ssl);
    if (certificate != nullptr) {
      peer->fingerprint = fingerprintOf(certificate);
      openssl().X509_free(certificate);
    }
    // The chain was checked against the system's trust store and the host
    // name during the handshake, only without stopping it.
    peer->trusted = certificate != nullptr && openssl().SSL_get_verify_result(ssl) == X509_V_OK;
    peer->protocol = openssl().SSL_get_version(ssl);
    const SSL_CIPHER* cipher = openssl().SSL_get_current_cipher(ssl);
    if (cipher != nullptr) peer->cipher = openssl().SSL_CIPHER_get_name(cipher);
    return connection;
  }

 private:
  static constexpr std::size_t kMaxKept = 16;
  static constexpr std::size_t kReadBufferSize = 65536;

  void offerSession(SSL* ssl) {
    if (!unused_.empty()) {
      if (last_offered_ != nullptr) openssl().SSL_SESSION_free(last_offered_);
      last_offered_ = unused_.back();
      unused_.pop_back();
    }
    if (last_offered_ != nullptr) openssl().SSL_set_session(ssl, last_offered_);
  }

  // Keeps a new session of any connection of this client; 1 takes
  // ownership.
  static int newSession(SSL* ssl, SSL_SESSION* session) {
    auto* client = static_cast<OpensslClient*>(
        openssl().SSL_CTX_get_ex_data(openssl().SSL_get_SSL_CTX(ssl), 0));
    if (client->unused_.size() == kMaxKept) {
      openssl().SSL_SESSION_free(client->unused_.front());
      client->unused_.erase(client->unused_.begin());
    }
    client->unused_.push_back(session);
    return 1;
  }

  SSL_CTX* context_ = nullptr;
  std::vector<SSL_SESSION*> unused_;
  SSL_SESSION* last_offered_ = nullptr;
};

}  // namespace

std::unique_ptr<TlsClient> systemTlsClient() {
  std::string why;
  if (loadOpenssl(&why) == nullptr) return std::make_unique<UnavailableTlsClient>(why);
  return std::make_unique<OpensslClient>();
}

}  // namespace quarvel
