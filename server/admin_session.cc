#include "server/admin_session.h"

#include <algorithm>

#include "ftp/reply.h"

namespace quarvel {
namespace {

// All replies of a session together wait at most this many time-outs.
constexpr std::int64_t kBudgetInTimeouts = 5;

std::string seconds(std::int64_t ms) { return std::to_string((ms + 999) / 1000) + " s"; }

}  // namespace

std::string SiteReply::describe() const {
  if (code != 0) return std::to_string(code) + (text.empty() ? "" : " " + text);
  return text;
}

LiveAdminSession::LiveAdminSession(FtpClient& ftp, Opener open, std::string where, int timeout_ms,
                                   std::int64_t budget_ms, bool quit_at_end)
    : ftp_(ftp),
      open_(std::move(open)),
      where_(std::move(where)),
      timeout_ms_(timeout_ms),
      budget_ms_(budget_ms > 0 ? budget_ms : kBudgetInTimeouts * timeout_ms),
      quit_at_end_(quit_at_end) {}

LiveAdminSession::LiveAdminSession(FtpClient& ftp, ChannelOpener open, std::string where,
                                   int timeout_ms, std::int64_t budget_ms, bool quit_at_end)
    : LiveAdminSession(ftp,
                       Opener([&ftp, open = std::move(open)] { return AdminLogin(ftp, open()); }),
                       std::move(where), timeout_ms, budget_ms, quit_at_end) {}

LiveAdminSession::~LiveAdminSession() { close(); }

void LiveAdminSession::close() {
  if (state_ == State::kOpen && quit_at_end_) login_.quit();
  login_.drop();
  if (state_ == State::kOpen || state_ == State::kGivenUp) state_ = State::kClosed;
}

bool LiveAdminSession::ensureOpen() {
  if (state_ != State::kNotOpened) return state_ == State::kOpen;
  login_ = open_();
  if (login_.loggedIn()) {
    state_ = State::kOpen;
    session_deadline_ = ftp_.platform().monotonicMs() + budget_ms_;
    return true;
  }
  state_ = State::kNoLogin;
  login_failure_.outcome = SiteOutcome::kNoLogin;
  login_failure_.code = 0;
  // A login that got no reply says why rather than show its empty status.
  std::string status = !ftp_.lastLoginSilence().empty()
                           ? ftp_.lastLoginSilence()
                           : std::to_string(ftp_.lastStatusCode()) + " " + ftp_.lastStatusMessage();
  login_failure_.text = "no admin login on " + where_ + " (" + status + ")";
  return false;
}

SiteReply LiveAdminSession::giveUp(SiteOutcome outcome, const std::string& text) {
  state_ = State::kGivenUp;
  given_up_because_ = text;
  SiteReply reply;
  reply.outcome = outcome;
  reply.text = text + "; the admin login is given up for the rest of this run";
  return reply;
}

SiteReply LiveAdminSession::send(const std::string& command) {
  SiteReply reply;
  if (command.find_first_of("\r\n") != std::string::npos) {
    reply.outcome = SiteOutcome::kNotSent;
    reply.text = "the command line holds a line break and is never sent";
    return reply;
  }
  if (!ensureOpen()) {
    if (state_ == State::kNoLogin) return login_failure_;
    reply.outcome = SiteOutcome::kLost;
    reply.text = state_ == State::kClosed ? "the admin login on " + where_ + " is closed"
                                          : "not sent: " + given_up_because_;
    return reply;
  }
  if (ftp_.platform().monotonicMs() >= session_deadline_) {
    return giveUp(SiteOutcome::kTimedOut, "the admin login on " + where_ + " used up its " +
                                              seconds(budget_ms_) + " for replies");
  }
  ControlChannel* control = login_.control();
  if (control == nullptr || control->send(command) != ControlChannel::Sent::kSent) {
    return giveUp(SiteOutcome::kLost, "the connection to " + where_ + " broke");
  }
  return readReply(*control, command);
}

SiteReply LiveAdminSession::readReply(ControlChannel& control, const std::string& command) {
  Platform& platform = ftp_.platform();
  std::int64_t started = platform.monotonicMs();
  std::int64_t deadline = std::min(started + timeout_ms_, session_deadline_);
  ControlChannel::Reply read = control.readReply(deadline, kMaxReplyBytes);
  if (read.end == ControlChannel::Reply::End::kTooLong) {
    return giveUp(SiteOutcome::kLost,
                  "the reply from " + where_ + " to \"" + command + "\" does not end");
  }
  if (read.end == ControlChannel::Reply::End::kChannelEnded) {
    if (read.timed_out) {
      return giveUp(SiteOutcome::kTimedOut, "no reply from " + where_ + " to \"" + command +
                                                "\" within " + seconds(deadline - started));
    }
    return giveUp(SiteOutcome::kLost, "the connection to " + where_ +
                                          " closed before the reply to \"" + command + "\"");
  }
  SiteReply reply;
  reply.code = replyCode(read.line);
  reply.outcome =
      reply.code >= 200 && reply.code < 300 ? SiteOutcome::kAccepted : SiteOutcome::kRefused;
  reply.text = replyText(read.line);
  // 421: the server is closing the connection itself.
  if (reply.code == 421) {
    state_ = State::kGivenUp;
    given_up_because_ = "the server ended the admin login (" + reply.describe() + ")";
  }
  return reply;
}

SiteReply DryAdminSession::send(const std::string& command) {
  commands_.push_back(command);
  SiteReply reply;
  reply.outcome = SiteOutcome::kRecorded;
  reply.text = "not sent (preview)";
  return reply;
}

}  // namespace quarvel
