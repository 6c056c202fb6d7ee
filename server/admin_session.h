// The admin login of one run and the SITE commands sent on it. A command
// comes back as a typed reply, so a caller can tell "the server said no"
// from "there was no login" and from "the connection went silent".
//
// A live session logs in on its first command (through the opener it is
// given, so the login is made as everywhere else), keeps the login for the
// rest of its life and ends it when destroyed. Every wait is bounded: each
// reply gets the client's time-out, all replies together get a budget, and
// after the first time-out or a lost connection the session sends nothing
// more, so a server that goes silent costs one time-out, not one per user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/control_channel.h"
#include "ftp/ftp_client.h"
#include "server/admin_login.h"

namespace quarvel {

enum class SiteOutcome {
  kAccepted,  // the server answered with a 2xx code
  kRefused,   // the server answered with another code
  kNoLogin,   // the admin login failed; nothing was sent
  kLost,      // the connection broke, or was given up earlier in the run
  kTimedOut,  // no complete reply in time; the session is given up
  kNotSent,   // the command line holds CR or LF and is never sent
  kRecorded,  // a dry session: noted, not sent
};

struct SiteReply {
  SiteOutcome outcome = SiteOutcome::kNotSent;
  int code = 0;      // code of the server's final reply line; 0 when none came
  std::string text;  // its text; for the other outcomes, what went wrong

  // True when the command took effect (or would have, in a dry session).
  bool done() const {
    return outcome == SiteOutcome::kAccepted || outcome == SiteOutcome::kRecorded;
  }
  // For the operator: "200 User deleted", "no reply within 60 s", ...
  std::string describe() const;
};

class AdminSession {
 public:
  virtual ~AdminSession() = default;
  virtual SiteReply send(const std::string& command) = 0;
  // Logs in now rather than at the first command (nothing when dry).
  virtual void open() {}
  // True when commands only are noted (a preview): nothing reaches a server.
  virtual bool dry() const { return false; }
};

class LiveAdminSession : public AdminSession {
 public:
  // Logs in on `ftp`, giving the login, or none with the client's last
  // status (and lastLoginSilence) saying why.
  using Opener = std::function<AdminLogin()>;
  // The same, giving the control channel of ftpConnect (0 or less: none),
  // which the session then owns.
  using ChannelOpener = std::function<int()>;

  // `where` names the server in messages ("host:port"). `budget_ms` bounds
  // the waits for all replies together; 0 means five time-outs. With
  // `quit_at_end` the login ends with QUIT, else its connection is dropped.
  LiveAdminSession(FtpClient& ftp, Opener open, std::string where,
                   int timeout_ms = FtpClient::kDefaultTimeoutMs, std::int64_t budget_ms = 0,
                   bool quit_at_end = true);
  LiveAdminSession(FtpClient& ftp, ChannelOpener open, std::string where,
                   int timeout_ms = FtpClient::kDefaultTimeoutMs, std::int64_t budget_ms = 0,
                   bool quit_at_end = true);
  ~LiveAdminSession() override;
  LiveAdminSession(const LiveAdminSession&) = delete;
  LiveAdminSession& operator=(const LiveAdminSession&) = delete;

  SiteReply send(const std::string& command) override;
  void open() override { ensureOpen(); }

  // Ends the login (QUIT when asked for and the connection is sound); later
  // sends fail as lost. Called by the destructor.
  void close();

 private:
  enum class State { kNotOpened, kOpen, kNoLogin, kGivenUp, kClosed };

  bool ensureOpen();
  SiteReply readReply(ControlChannel& control, const std::string& command);
  SiteReply giveUp(SiteOutcome outcome, const std::string& text);

  FtpClient& ftp_;
  Opener open_;
  std::string where_;
  int timeout_ms_;
  std::int64_t budget_ms_;
  bool quit_at_end_;
  std::int64_t session_deadline_ = 0;
  State state_ = State::kNotOpened;
  AdminLogin login_;
  SiteReply login_failure_;
  std::string given_up_because_;
};

// Notes every command instead of sending it: what a run would send.
class DryAdminSession : public AdminSession {
 public:
  SiteReply send(const std::string& command) override;
  bool dry() const override { return true; }
  const std::vector<std::string>& commands() const { return commands_; }

 private:
  std::vector<std::string> commands_;
};

}  // namespace quarvel
