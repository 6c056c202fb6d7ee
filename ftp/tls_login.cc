// The TLS steps of a login and of its data connections (explicit FTPS).
#include <string>

#include "ftp/ftp_client.h"
#include "ftp/reply.h"
#include "ftp/tls_policy.h"

namespace quarvel {

namespace {

// The code of a local TLS failure in the last status; its text says why.
constexpr char kLocalTlsFailure[] = "421 ";
constexpr char kDataTlsFailed[] = "426 TLS on the data connection failed";

std::string answered(const std::string& reply) {
  return reply.empty() ? "no answer" : "\"" + reply + "\"";
}

}  // namespace

void FtpClient::requireTls(TlsClientMaker make_client, const std::string& pinned_fingerprint) {
  make_tls_ = make_client ? std::move(make_client) : [] { return std::unique_ptr<TlsClient>(); };
  pinned_fingerprint_ = pinned_fingerprint;
}

void FtpClient::dropTls() {
  make_tls_ = nullptr;
  pinned_fingerprint_.clear();
}

bool FtpClient::failTls(const std::string& why, const std::string& reply) {
  setLastStatus(reply.empty() ? kLocalTlsFailure + why : reply);
  last_tls_failure_ = why;
  return false;
}

bool FtpClient::secureControl(int control, const std::string& host) {
  std::string reply = exchangeToFinalLine(control, "AUTH TLS");
  if (replyCode(reply) != 234) {
    return failTls("the FTP server refused AUTH TLS: " + answered(reply), reply);
  }
  std::shared_ptr<TlsClient> tls = make_tls_();
  if (!tls) return failTls("TLS is not available in this build");

  ControlChannel* c = controlChannel(control);
  // Whatever came in plain text after the 234 must not pass for a reply of
  // the protected session.
  c->dropUnread();
  std::string error;
  if (!c->startTls(std::move(tls), host, &last_tls_peer_, &error)) {
    return failTls(error);
  }
  if (!certificateAccepted(last_tls_peer_, pinned_fingerprint_)) {
    return failTls(certificateRefusal(last_tls_peer_, pinned_fingerprint_));
  }
  c->peer_fingerprint = last_tls_peer_.fingerprint;
  return true;
}

bool FtpClient::protectDataChannels(int control) {
  for (const char* command : {"PBSZ 0", "PROT P"}) {
    std::string reply = exchangeToFinalLine(control, command);
    if (replyCode(reply) != 200) {
      return failTls(std::string("the FTP server refused ") + command + ": " + answered(reply),
                     reply);
    }
  }
  controlChannel(control)->protects_data = true;
  return true;
}

bool FtpClient::secureData(int control, int data, const std::string& host) {
  ControlChannel* c = controlChannel(control);
  ControlChannel* d = controlChannel(data);
  if (c == nullptr || d == nullptr || !c->protects_data) return true;
  TlsPeer peer;
  std::string error;
  if (!d->startTls(c->tlsClient(), host, &peer, &error)) return false;
  // The data connection must end at the server the login checked.
  return peer.fingerprint == c->peer_fingerprint;
}

int FtpClient::abandonData(int control, int data) {
  closeChannel(data);
  // The server answers the broken transfer; reading that keeps the control
  // channel in step.
  readReplyLine(control);
  setLastStatus(kDataTlsFailed);
  return 0;
}

}  // namespace quarvel
