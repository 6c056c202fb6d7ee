// The FTP client: numbered control and data channels over the platform's
// TCP connections (each a ControlChannel, the line engine of
// ftp/control_channel.h), the last status pair, TLS, and the FTP
// operations. ftp_api.h exports the operations to C callers; the admin
// session sends its SITE commands on a channel of the client too.
//
// Every operation leaves the last status behind: the reply code and text of
// the last reply line it read, or a local error formed like a reply line
// ("053 Local File Open Error"). Blocking and single-threaded; every wait is
// bounded by the time-out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ftp/control_channel.h"
#include "platform/platform.h"
#include "platform/tls.h"

namespace quarvel {

class FtpClient {
 public:
  static constexpr int kDefaultTimeoutMs = 60000;
  // Bytes per progress step: a transfer reports its progress after each
  // block of this size (an upload after each full one).
  static constexpr std::size_t kBlockSize = 8192;
  // Bytes read from a file and sent at once: whole 16 KB TLS records, and
  // few system calls per megabyte on either side.
  static constexpr std::size_t kTransferSize = 262144;

  // Receives the progress texts of transfers ("8192 of 20000") with the
  // caller's window handle.
  using ProgressSink = std::function<void(std::intptr_t window, const std::string& text)>;

  explicit FtpClient(Platform& platform, int timeout_ms = kDefaultTimeoutMs);
  ~FtpClient();

  // Connects, reads the 220 greeting and logs in: the control channel (> 0),
  // or -1 with the last status telling why.
  int ftpConnect(const std::string& host, int port, const std::string& user,
                 const std::string& password);

  // --- TLS (explicit FTPS) ------------------------------------------------
  // Makes one TLS client for each login.
  using TlsClientMaker = std::function<std::unique_ptr<TlsClient>()>;

  // Every later login goes over TLS and never falls back to plain: AUTH TLS
  // right after the greeting (234 expected), the handshake, USER and PASS
  // only when the certificate is trusted by the system or its SHA-256
  // fingerprint equals `pinned_fingerprint` (any case, colons optional),
  // then PBSZ 0 and PROT P (200 each), so that every data connection of the
  // login speaks TLS as well, resuming the control connection's session. A
  // maker that gives null fails each login with "TLS is not available".
  void requireTls(TlsClientMaker make_client, const std::string& pinned_fingerprint);
  // Plain logins again (the default).
  void dropTls();
  // The certificate the last login's handshake saw (fingerprint empty when
  // there was none).
  const TlsPeer& lastTlsPeer() const { return last_tls_peer_; }
  // Why the last login failed in a TLS step (one line); empty when it did
  // not.
  const std::string& lastTlsFailure() const { return last_tls_failure_; }
  // Why the last login failed without any reply to a step, when it did:
  // "no greeting within 60 s", "the connection closed before the greeting";
  // empty when every step was answered. The last status of such a login is
  // the empty line (code 0), which names neither.
  const std::string& lastLoginSilence() const { return last_login_silence_; }

  // Sends QUIT, reads the reply, closes the channel.
  void ftpQuit(int channel);

  // Closes a channel's socket without sending anything.
  void closeChannel(int channel);

  // The channel with this number (its line engine); null when there is
  // none.
  ControlChannel* controlChannel(int channel);

  // ControlChannel's line engine by channel number; no such channel sends
  // nothing, reads the empty text and counts as ended.
  using Sent = ControlChannel::Sent;
  using Reply = ControlChannel::Reply;
  Sent sendCommand(int channel, const std::string& command);
  std::string readReplyLine(int channel, std::int64_t deadline_ms = 0);
  Reply readReply(int channel, std::int64_t deadline_ms, std::size_t max_bytes);
  bool atEndOfData(int channel);
  bool channelEnded(int channel);

  // The clock reading one time-out from now.
  std::int64_t deadlineFromNow() { return platform_.monotonicMs() + timeout_ms_; }

  int lastStatusCode() const { return last_code_; }
  const std::string& lastStatusMessage() const { return last_message_; }
  // The line the server answered USER with at the last login, as received;
  // empty when the login never got that far. A refusal that ends the
  // reply leaves the status empty (the login waits for a further line), so
  // this is what the server actually said.
  const std::string& lastUserReply() const { return last_user_reply_; }

  Platform& platform() { return platform_; }

  // --- One-line commands: 1 on the expected reply code, else 0 ----------
  // Each reads exactly one reply line; further lines of a multi-line reply
  // are left for the next command.

  int ftpDeleteFile(int channel, const std::string& name);   // DELE, 250
  int ftpMakeDir(int channel, const std::string& folder);    // MKD, 257
  int ftpRemoveDir(int channel, const std::string& folder);  // RMD, 250
  // RNFR (350), then RNTO (250); no RNTO after a refused RNFR.
  int ftpMoveOrRename(int channel, const std::string& from, const std::string& to);
  // CWD with the folder's surrounding blanks removed, 250.
  int ftpChangeDir(int channel, const std::string& folder);
  // PWD: the text between the first two double quotes of a 257 reply;
  // empty otherwise.
  std::string ftpCurDir(int channel);
  void ftpSetAscii(int channel);   // TYPE A, reply not checked
  void ftpSetBinary(int channel);  // TYPE I, reply not checked

  // --- Listings and transfers over passive data channels ----------------
  // The data channel goes to `host` (normally the one given to ftpConnect)
  // on the port of the 227 reply; the address in that reply is ignored.

  // LIST: `lines` becomes the listing at positions 1..n, position 0 empty;
  // the result is n. Stops at the first blank line. A LIST answered with an
  // error code reads no data and gives 0 at once.
  int ftpGetList(int channel, const std::string& host, std::vector<std::string>* lines);
  // The lines of ftpGetList beginning with "-" (files), same layout.
  int ftpGetFileList(int channel, const std::string& host, std::vector<std::string>* lines);
  // The lines of ftpGetList beginning with "d" or "D" (folders).
  int ftpGetDirList(int channel, const std::string& host, std::vector<std::string>* lines);
  // RETR into `local_path` (removed first, then written as the data comes):
  // 1 once the server has closed the data channel, whatever its final reply
  // says; 0 when RETR is not answered 150 (or 125), or when the data channel
  // stalls or breaks or the local file cannot be written. Progress
  // "received of total" goes to a non-zero window.
  int ftpGetFile(int channel, std::intptr_t window, const std::string& host,
                 const std::string& remote_name, const std::string& local_path);
  // STOR of `local_path`, sent in pieces of kTransferSize: 1 when STOR is
  // answered 150 (or 125) and the server ends with 226, else 0. Progress
  // "sent of size" for each full block of kBlockSize goes to a window > 0.
  int ftpPutFile(int channel, const std::string& host, std::intptr_t window,
                 const std::string& remote_name, const std::string& local_path);

  // Where progress texts go: by default the platform's window text; a sink
  // set here replaces that (POSIX has no windows). An empty sink restores
  // the default.
  void setProgressSink(ProgressSink sink) { progress_ = std::move(sink); }

 private:
  int addChannel(std::unique_ptr<TcpConnection> connection);
  // Sets the pair from a line: its reply code and its text from the fourth
  // character on, trimmed.
  void setLastStatus(const std::string& line);
  // Sends the command and reads one reply line; a command that cannot be
  // sent gives a local error line instead (and waits for nothing).
  std::string exchange(int channel, const std::string& command);
  // The same, reading on to the final line when the first one announces
  // more.
  std::string exchangeToFinalLine(int channel, const std::string& command);
  // The local error line for a command that was not sent.
  static std::string sendFailureLine(Sent result);

  // --- Passive data channels (used by the listings and transfers) -------
  // PASV, then a data channel to `host` on the announced port: the channel,
  // or -1. The last status is the PASV reply line either way.
  int enterPassive(int channel, const std::string& host);
  // A TCP connection to host and port on the next channel number, or -1.
  int openDataChannel(const std::string& host, int port);
  // Up to `size` bytes into `block`: the count, 0 when the peer closed, -1
  // on a time-out or an error.
  long receiveBlock(int channel, char* block, std::size_t size);
  // Sends the whole block: 1, or 0 on an error.
  int sendBlock(int channel, const char* data, std::size_t size);

  // Reads lines until one that does not announce more lines.
  std::string readFinalLine(int channel);
  int oneLineCommand(int channel, const std::string& command, int expected);
  // AUTH TLS and the handshake on a fresh control channel: false, with the
  // last status and lastTlsFailure set, when the login must stop here.
  bool secureControl(int control, const std::string& host);
  // PBSZ 0 and PROT P after the login; false as above.
  bool protectDataChannels(int control);
  // The handshake on a data channel of `control` after the server accepted
  // the transfer command; true as well when the login is plain.
  bool secureData(int control, int data, const std::string& host);
  // Ends a TLS step of the login: the last status becomes the server's
  // `reply`, or a local line "421 <why>" when there is none. Gives false.
  bool failTls(const std::string& why, const std::string& reply = std::string());
  // Gives up a transfer whose data channel could not be secured: 0.
  int abandonData(int control, int data);
  void showProgress(std::intptr_t window, const std::string& text);
  // Notes why a login step got no reply on `channel` (`awaited` names the
  // reply): the wait ran out, or the connection ended first.
  void noteLoginSilence(int channel, const std::string& awaited);
  // The progress texts of bytes `from` (exclusive) to `to` in steps of
  // kBlockSize, each "done of total": a download's step ends at `to` as
  // well, an upload shows only full blocks.
  void showProgressSteps(std::intptr_t window, std::uint64_t from, std::uint64_t to,
                         std::uint64_t total, bool partial_step);

  Platform& platform_;
  int timeout_ms_;
  TlsClientMaker make_tls_;  // empty: plain logins
  std::string pinned_fingerprint_;
  TlsPeer last_tls_peer_;
  std::string last_tls_failure_;
  std::string last_login_silence_;
  int next_channel_ = 1;
  std::map<int, std::unique_ptr<ControlChannel>> channels_;
  int last_code_ = 0;
  std::string last_message_;
  std::string last_user_reply_;
  ProgressSink progress_;
};

}  // namespace quarvel
