// TLS with SChannel, the system's own TLS (secur32, crypt32 and bcrypt are
// system DLLs, so the program stays one file). The three are loaded from the
// system folder when the first TLS client is made, not at start-up: bound
// at start they bring some twenty more DLLs with them into every run, and
// only a TLS login uses them. Their functions are called through a table of
// pointers typed from the system headers.
// The handshake and the records run over the TcpConnection given, so the
// socket code stays in one place.
#define SECURITY_WIN32
// SCH_CREDENTIALS, the credentials form that TLS 1.3 needs.
#define SCHANNEL_USE_BLACKLISTS
// winsock2.h before windows.h, windows.h before the others (they build on
// its types), subauth.h before schannel.h (its UNICODE_STRING).
// clang-format off
#include <winsock2.h>
#include <windows.h>

#include <bcrypt.h>
#include <subauth.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/system_library_windows.h"
#include "platform/tls.h"

namespace quarvel {
namespace {

#define QUARVEL_SECUR32_FUNCTIONS(X)                                                      \
  X(AcquireCredentialsHandleA)                                                            \
  X(FreeCredentialsHandle) X(InitializeSecurityContextA) X(DeleteSecurityContext)         \
      X(QueryContextAttributesA) X(ApplyControlToken) X(EncryptMessage) X(DecryptMessage) \
          X(FreeContextBuffer)
#define QUARVEL_CRYPT32_FUNCTIONS(X) \
  X(CertGetCertificateChain)         \
  X(CertVerifyCertificateChainPolicy) X(CertFreeCertificateChain) X(CertFreeCertificateContext)
#define QUARVEL_BCRYPT_FUNCTIONS(X)                                              \
  X(BCryptOpenAlgorithmProvider)                                                 \
  X(BCryptCreateHash) X(BCryptHashData) X(BCryptFinishHash) X(BCryptDestroyHash) \
      X(BCryptCloseAlgorithmProvider)

// The functions of the three libraries this file calls, each typed as its
// declaration in the system headers.
struct SchannelFunctions {
#define QUARVEL_SCHANNEL_POINTER(name) decltype(&::name) name = nullptr;
  QUARVEL_SECUR32_FUNCTIONS(QUARVEL_SCHANNEL_POINTER)
  QUARVEL_CRYPT32_FUNCTIONS(QUARVEL_SCHANNEL_POINTER)
  QUARVEL_BCRYPT_FUNCTIONS(QUARVEL_SCHANNEL_POINTER)
#undef QUARVEL_SCHANNEL_POINTER
};

// Loads the libraries once; null, with the reason in *why, when one of them
// or one of their functions cannot be found.
const SchannelFunctions* loadSchannel(std::string* why) {
  static SchannelFunctions functions;
  static std::string failure = [] {
    std::string reason;
    HMODULE library = nullptr;
#define QUARVEL_SCHANNEL_BIND(name)                                           \
  functions.name = libraryFunction<decltype(functions.name)>(library, #name); \
  if (functions.name == nullptr) return std::string(file) + " has no " #name;
#define QUARVEL_SCHANNEL_LIBRARY(dll, list)     \
  {                                             \
    const char* file = dll;                     \
    library = loadSystemLibrary(file, &reason); \
    if (library == nullptr) return reason;      \
    list(QUARVEL_SCHANNEL_BIND)                 \
  }
    QUARVEL_SCHANNEL_LIBRARY("secur32.dll", QUARVEL_SECUR32_FUNCTIONS)
    QUARVEL_SCHANNEL_LIBRARY("crypt32.dll", QUARVEL_CRYPT32_FUNCTIONS)
    QUARVEL_SCHANNEL_LIBRARY("bcrypt.dll", QUARVEL_BCRYPT_FUNCTIONS)
#undef QUARVEL_SCHANNEL_LIBRARY
#undef QUARVEL_SCHANNEL_BIND
    return std::string();
  }();
  *why = failure;
  return failure.empty() ? &functions : nullptr;
}

// The loaded functions; only called once loadSchannel() has succeeded (a
// SchannelClient exists only then).
const SchannelFunctions& schannel() {
  std::string why;
  return *loadSchannel(&why);
}

// Bytes asked of the socket at once: several records per call.
constexpr std::size_t kReadChunk = 64 * 1024;
// Plain bytes encrypted before the records go to the socket in one send.
constexpr std::size_t kSendBatch = 64 * 1024;
constexpr unsigned char kAlertRecord = 21;
constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;

std::string statusText(const char* step, SECURITY_STATUS status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  return std::string(step) + " failed (" + code + ")";
}

std::string hex(const unsigned char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string sha256Hex(const unsigned char* data, ULONG size) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (schannel().BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) !=
      0) {
    return std::string();
  }
  unsigned char digest[32];
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = schannel().BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
            schannel().BCryptHashData(hash, const_cast<unsigned char*>(data), size, 0) == 0 &&
            schannel().BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
  if (hash != nullptr) schannel().BCryptDestroyHash(hash);
  schannel().BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok ? hex(digest, sizeof digest) : std::string();
}

// Whether the system's trust store accepts the chain for the host name.
bool chainTrusted(PCCERT_CONTEXT certificate, const std::string& host) {
  CERT_CHAIN_PARA chain_para = {};
  chain_para.cbSize = sizeof chain_para;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!schannel().CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                                          &chain_para, 0, nullptr, &chain)) {
    return false;
  }
  std::wstring wide_host(host.begin(), host.end());
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl_para = {};
  ssl_para.cbSize = sizeof ssl_para;
  ssl_para.dwAuthType = AUTHTYPE_SERVER;
  ssl_para.pwszServerName = const_cast<wchar_t*>(wide_host.c_str());
  CERT_CHAIN_POLICY_PARA policy_para = {};
  policy_para.cbSize = sizeof policy_para;
  policy_para.pvExtraPolicyPara = &ssl_para;
  CERT_CHAIN_POLICY_STATUS policy_status = {};
  policy_status.cbSize = sizeof policy_status;
  bool trusted = schannel().CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain,
                                                             &policy_para, &policy_status) &&
                 policy_status.dwError == 0;
  schannel().CertFreeCertificateChain(chain);
  return trusted;
}

// Output tokens of InitializeSecurityContext, sent and freed.
bool sendTokens(TcpConnection& plain, SecBuffer& token) {
  bool ok = true;
  if (token.cbBuffer > 0 && token.pvBuffer != nullptr) {
    ok = plain.sendAll(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
  }
  if (token.pvBuffer != nullptr) schannel().FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  token.cbBuffer = 0;
  return ok;
}

class SchannelConnection : public TcpConnection {
 public:
  SchannelConnection(std::unique_ptr<TcpConnection> plain, CredHandle* credentials,
                     std::string host)
      : plain_(std::move(plain)), credentials_(credentials), host_(std::move(host)) {
    SecInvalidateHandle(&context_);
  }

  ~SchannelConnection() override {
    if (established_) sendCloseNotify();
    closeAfterPeer(*plain_, established_ ? lingerMs(handshake_timeout_ms_) : 0);
    if (SecIsValidHandle(&context_)) schannel().DeleteSecurityContext(&context_);
  }

  // The handshake: "" when it completed, else the reason.
  std::string handshake(int timeout_ms) {
    handshake_timeout_ms_ = timeout_ms;
    SecBuffer out_token = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, &out_token};
    ULONG attributes = 0;
    SECURITY_STATUS status = schannel().InitializeSecurityContextA(
        credentials_, nullptr, const_cast<char*>(host_.c_str()), kContextFlags, 0, 0, nullptr, 0,
        &context_, &out_desc, &attributes, nullptr);
    if (status != SEC_I_CONTINUE_NEEDED) return statusText("TLS handshake start", status);
    if (!sendTokens(*plain_, out_token)) return "TLS handshake: send failed";

    for (;;) {
      if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
        if (status == SEC_E_INCOMPLETE_MESSAGE || encrypted_.empty()) {
          std::string why = receiveMore(timeout_ms);
          if (!why.empty()) return "TLS handshake: " + why;
        }
      }
      SecBuffer in[2] = {
          {static_cast<ULONG>(encrypted_.size()), SECBUFFER_TOKEN, encrypted_.data()},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc in_desc = {SECBUFFER_VERSION, 2, in};
      out_token = {0, SECBUFFER_TOKEN, nullptr};
      status = schannel().InitializeSecurityContextA(
          credentials_, &context_, const_cast<char*>(host_.c_str()), kContextFlags, 0, 0, &in_desc,
          0, nullptr, &out_desc, &attributes, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) continue;
      if (!sendTokens(*plain_, out_token)) return "TLS handshake: send failed";
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
        return statusText("TLS handshake", status);
      }
      keepExtra(in[1]);
      if (status == SEC_E_OK) break;
    }
    status = schannel().QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) return statusText("TLS stream sizes", status);
    established_ = true;
    return std::string();
  }

  TlsPeer peer() {
    TlsPeer result;
    PCCERT_CONTEXT certificate = nullptr;
    if (schannel().QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                           &certificate) != SEC_E_OK ||
        certificate == nullptr) {
      return result;
    }
    result.fingerprint = sha256Hex(certificate->pbCertEncoded, certificate->cbCertEncoded);
    result.trusted = chainTrusted(certificate, host_);
    schannel().CertFreeCertificateContext(certificate);
    agreement(&result);
    return result;
  }

  // Encrypts record by record into one buffer and sends the records of up
  // to kSendBatch plain bytes at once.
  bool sendAll(const char* data, std::size_t size) override {
    if (!established_) return false;
    std::vector<char> records;
    while (size > 0) {
      records.clear();
      for (std::size_t batched = 0; size > 0 && batched < kSendBatch;) {
        ULONG chunk =
            static_cast<ULONG>(size < sizes_.cbMaximumMessage ? size : sizes_.cbMaximumMessage);
        std::size_t at = records.size();
        records.resize(at + sizes_.cbHeader + chunk + sizes_.cbTrailer);
        char* record = records.data() + at;
        std::memcpy(record + sizes_.cbHeader, data, chunk);
        SecBuffer parts[4] = {
            {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record},
            {chunk, SECBUFFER_DATA, record + sizes_.cbHeader},
            {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record + sizes_.cbHeader + chunk},
            {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, parts};
        if (schannel().EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) return false;
        // The trailer may come out shorter than its room.
        records.resize(at + parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer);
        data += chunk;
        size -= chunk;
        batched += chunk;
      }
      if (!plain_->sendAll(records.data(), records.size())) return false;
    }
    return true;
  }

  long receive(char* buffer, std::size_t size, int timeout_ms) override {
    if (!established_) return -1;
    while (plain_text_.empty()) {
      if (closed_) return 0;
      if (encrypted_.empty()) {
        std::string why = receiveMore(timeout_ms);
        if (why == "closed") return 0;
        if (!why.empty()) return -1;
      }
      SecBuffer parts[4] = {
          {static_cast<ULONG>(encrypted_.size()), SECBUFFER_DATA, encrypted_.data()},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc = {SECBUFFER_VERSION, 4, parts};
      // Up to TLS 1.2 an alert travels in a record of its own type (21).
      bool alert_record = static_cast<unsigned char>(encrypted_[0]) == kAlertRecord;
      SECURITY_STATUS status = schannel().DecryptMessage(&context_, &desc, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        std::string why = receiveMore(timeout_ms);
        if (why == "closed") return 0;
        if (!why.empty()) return -1;
        continue;
      }
      if (status == SEC_I_CONTEXT_EXPIRED) {
        closed_ = true;
        return 0;
      }
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return -1;
      std::vector<char> extra;
      for (SecBuffer& part : parts) {
        if (part.BufferType == SECBUFFER_DATA && part.cbBuffer > 0) {
          const char* bytes = static_cast<const char*>(part.pvBuffer);
          plain_text_.insert(plain_text_.end(), bytes, bytes + part.cbBuffer);
        } else if (part.BufferType == SECBUFFER_EXTRA && part.cbBuffer > 0) {
          const char* bytes = encrypted_.data() + encrypted_.size() - part.cbBuffer;
          extra.assign(bytes, bytes + part.cbBuffer);
        }
      }
      encrypted_.swap(extra);
      // Windows reports the server's close_notify as SEC_I_CONTEXT_EXPIRED;
      // Wine's SChannel as an alert record that decrypts to nothing. The
      // server may wait for the client's close_notify before it closes the
      // socket, so the end must be seen here, not at a time-out.
      if (status == SEC_E_OK && plain_text_.empty() && alert_record) {
        closed_ = true;
        return 0;
      }
      // Messages after the handshake (TLS 1.3 session tickets, a key
      // update) go back through the handshake call.
      if (status == SEC_I_RENEGOTIATE && !continueAfterHandshake(timeout_ms)) return -1;
    }
    std::size_t n = size < plain_text_.size() ? size : plain_text_.size();
    std::memcpy(buffer, plain_text_.data(), n);
    plain_text_.erase(plain_text_.begin(), plain_text_.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }

 private:
  // The protocol and the cipher suite the handshake agreed on, named as
  // OpenSSL and the IANA registry name them.
  void agreement(TlsPeer* peer) {
    SecPkgContext_ConnectionInfo connection = {};
    if (schannel().QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &connection) ==
        SEC_E_OK) {
      peer->protocol = protocolName(connection.dwProtocol);
    }
    SecPkgContext_CipherInfo cipher = {};
    if (schannel().QueryContextAttributesA(&context_, SECPKG_ATTR_CIPHER_INFO, &cipher) ==
        SEC_E_OK) {
      for (const WCHAR* c = cipher.szCipherSuite; *c != 0 && c < std::end(cipher.szCipherSuite);
           ++c) {
        peer->cipher += static_cast<char>(*c < 128 ? *c : '?');
      }
    }
  }

  static std::string protocolName(DWORD protocol) {
    if (protocol & SP_PROT_TLS1_3_CLIENT) return "TLSv1.3";
    if (protocol & SP_PROT_TLS1_2_CLIENT) return "TLSv1.2";
    if (protocol & SP_PROT_TLS1_1_CLIENT) return "TLSv1.1";
    if (protocol & SP_PROT_TLS1_0_CLIENT) return "TLSv1";
    return protocol == 0 ? std::string() : "protocol " + std::to_string(protocol);
  }

  // Appends what arrives on the socket to encrypted_: "" when something
  // came, "closed" when the peer closed, else the reason.
  std::string receiveMore(int timeout_ms) {
    std::size_t had = encrypted_.size();
    encrypted_.resize(had + kReadChunk);
    long got = plain_->receive(encrypted_.data() + had, kReadChunk, timeout_ms);
    encrypted_.resize(had + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got == 0) return "closed";
    if (got < 0) return "no answer from the server";
    return std::string();
  }

  void keepExtra(const SecBuffer& extra) {
    if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0) {
      encrypted_.erase(encrypted_.begin(), encrypted_.end() - static_cast<long>(extra.cbBuffer));
    } else {
      encrypted_.clear();
    }
  }

  bool continueAfterHandshake(int timeout_ms) {
    for (;;) {
      SecBuffer in[2] = {{static_cast<ULONG>(encrypted_.size()), SECBUFFER_TOKEN,
                          encrypted_.empty() ? nullptr : encrypted_.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc in_desc = {SECBUFFER_VERSION, 2, in};
      SecBuffer out_token = {0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, &out_token};
      ULONG attributes = 0;
      SECURITY_STATUS status = schannel().InitializeSecurityContextA(
          credentials_, &context_, const_cast<char*>(host_.c_str()), kContextFlags, 0, 0, &in_desc,
          0, nullptr, &out_desc, &attributes, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (!receiveMore(timeout_ms).empty()) return false;
        continue;
      }
      if (!sendTokens(*plain_, out_token)) return false;
      if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) return false;
      keepExtra(in[1]);
      if (status == SEC_E_OK) return true;
      if (encrypted_.empty() && !receiveMore(timeout_ms).empty()) return false;
    }
  }

  // Tells the server the protected stream ends here (a close_notify alert),
  // so an upload's end is not mistaken for a cut connection.
  void sendCloseNotify() {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc control_desc = {SECBUFFER_VERSION, 1, &control};
    if (schannel().ApplyControlToken(&context_, &control_desc) != SEC_E_OK) return;
    SecBuffer out_token = {0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, &out_token};
    ULONG attributes = 0;
    schannel().InitializeSecurityContextA(credentials_, &context_, const_cast<char*>(host_.c_str()),
                                          kContextFlags, 0, 0, nullptr, 0, nullptr, &out_desc,
                                          &attributes, nullptr);
    sendTokens(*plain_, out_token);
  }

  std::unique_ptr<TcpConnection> plain_;
  CredHandle* credentials_;
  std::string host_;
  CtxtHandle context_;
  SecPkgContext_StreamSizes sizes_ = {};
  int handshake_timeout_ms_ = 0;
  bool established_ = false;
  bool closed_ = false;
  std::vector<char> encrypted_;
  std::vector<char> plain_text_;
};

// One credential handle for all connections of the client: SChannel keeps
// its session cache per credential handle and host name, so the data
// connections resume the control connection's session.
class SchannelClient : public TlsClient {
 public:
  ~SchannelClient() override {
    if (have_credentials_) schannel().FreeCredentialsHandle(&credentials_);
  }

  std::unique_ptr<TcpConnection> handshake(std::unique_ptr<TcpConnection> plain,
                                           const std::string& host, int timeout_ms, TlsPeer* peer,
                                           std::string* error) override {
    if (!have_credentials_) {
      // The certificate is judged by the caller (trust or a pinned
      // fingerprint), so SChannel must not refuse it on its own.
      const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
      // Windows offers TLS 1.3 only to credentials described the newer way;
      // systems before it know only the older form.
      SCH_CREDENTIALS current = {};
      current.dwVersion = SCH_CREDENTIALS_VERSION;
      current.dwFlags = flags;
      SCHANNEL_CRED older = {};
      older.dwVersion = SCHANNEL_CRED_VERSION;
      older.dwFlags = flags;
      SECURITY_STATUS status = SEC_E_INTERNAL_ERROR;
      for (void* settings : {static_cast<void*>(&current), static_cast<void*>(&older)}) {
        TimeStamp expiry;
        status = schannel().AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A),
                                                      SECPKG_CRED_OUTBOUND, nullptr, settings,
                                                      nullptr, nullptr, &credentials_, &expiry);
        if (status == SEC_E_OK) break;
      }
      if (status != SEC_E_OK) {
        *error = statusText("TLS credentials", status);
        return nullptr;
      }
      have_credentials_ = true;
    }
    auto connection = std::make_unique<SchannelConnection>(std::move(plain), &credentials_, host);
    std::string why = connection->handshake(timeout_ms);
    if (!why.empty()) {
      *error = why;
      return nullptr;
    }
    *peer = connection->peer();
    return connection;
  }

 private:
  CredHandle credentials_ = {};
  bool have_credentials_ = false;
};

}  // namespace

std::unique_ptr<TlsClient> systemTlsClient() {
  std::string why;
  if (loadSchannel(&why) == nullptr) return std::make_unique<UnavailableTlsClient>(why);
  return std::make_unique<SchannelClient>();
}

}  // namespace quarvel
