// One scripted FTP server for the unit tests, reached two ways. The script
// (FtpScript) logs every command line it receives and answers it: an exact
// line's reply first, else its command word's reply or handler, else a
// default reply. A handler may stall, close in mid-reply or play a data
// transfer.
//
// - ScriptedFtpServer serves one control connection on loopback in its own
//   thread, with real sockets and data connections: the FTP client's tests.
//   Its script answers the usual commands; unknown ones get "500", so a
//   surprise shows in the replies and in the log. Every wait of the server
//   is bounded (kServerWaitMs), so a test whose client misbehaves ends by
//   itself.
// - ScriptedConnection serves a connection in memory, without any real
//   waiting, for a fake platform to hand out from connectTcp: the tests of
//   whole sites. A receive with nothing to read is a time-out at once (and
//   moves a fake clock on by the wait, when it is given one).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_platform.h"
#include "platform/platform.h"
#include "platform/test_listener.h"

namespace quarvel {

class FtpScript {
 public:
  static constexpr int kServerWaitMs = 5000;

  // One control connection, as a handler sees it.
  class Session {
   public:
    // On a real connection.
    explicit Session(std::unique_ptr<TcpConnection> control);
    // In memory: what is sent is appended to `output`.
    explicit Session(std::string* output) : output_(output) {}

    // Raw bytes on the control connection (line ends included).
    void send(const std::string& raw);
    // Drops the control connection at once and ends the session.
    void closeControl();
    // Accepts the data connection on the last PASV port (never in memory).
    bool acceptData();
    void sendData(const std::string& bytes);
    // Everything until the client closes the data connection.
    std::string receiveData();
    void closeData();
    // Ends the session after this command (the connection closes).
    void end() { ended_ = true; }
    bool ended() const { return ended_; }

    // Listens for the next data connection; returns its port (0: failed).
    int listenForData();

   private:
    friend class ScriptedFtpServer;
    std::unique_ptr<TcpConnection> control_;
    std::string* output_ = nullptr;
    std::unique_ptr<TestListener> passive_;
    std::unique_ptr<TcpConnection> data_;
    bool ended_ = false;
  };
  using Handler = std::function<void(Session&, const std::string& argument)>;

  virtual ~FtpScript() = default;

  // Raw bytes sent on accepting; empty: the server stays silent.
  std::string greeting = "220 Ready\r\n";
  // The reply to a command that nothing else answers.
  std::string unknown_reply = "500 Unknown command\r\n";

  // Replies to every `word` command (any case) with exactly these bytes.
  void reply(const std::string& word, const std::string& raw);
  void on(const std::string& word, Handler handler);
  // Replies to this exact command line, ahead of its word.
  void replyTo(const std::string& line, const std::string& raw);

  // Logs the command line (its line end removed) and answers it.
  void answer(Session& session, const std::string& line, std::vector<std::string>* log);

 private:
  std::map<std::string, Handler> handlers_;
  std::map<std::string, std::string> line_replies_;
};

class ScriptedFtpServer : public FtpScript {
 public:
  ScriptedFtpServer();
  ~ScriptedFtpServer() override;

  int port() const { return listener_->port(); }

  // --- Script (before start) ------------------------------------------
  // The address numbers in 227 replies.
  std::string passive_address = "127,0,0,1";
  // Sent on LIST and RETR.
  std::string listing;
  std::string file_contents;

  void start();

  // --- Results (wait for the session to end) ----------------------------
  // The command lines received, without their line ends.
  const std::vector<std::string>& commands();
  // The bytes received by STOR.
  const std::string& stored();
  // The raw bytes received on the control connection.
  const std::string& received();

 private:
  void serve();
  void join();
  void installDefaults();

  std::unique_ptr<TestListener> listener_;
  std::thread thread_;
  std::vector<std::string> commands_;
  std::string stored_;
  std::string received_;
};

// A connection to `script` in memory; each command line received is added
// to `log`. Both must outlive it. A receive with nothing to read is a
// time-out; with a `clock`, the wait passes on it first, as on a real
// connection (the platform that hands the connection out is the clock).
class ScriptedConnection : public TcpConnection {
 public:
  ScriptedConnection(FtpScript& script, std::vector<std::string>* log,
                     FakePlatform* clock = nullptr);

  bool sendAll(const char* data, std::size_t size) override;
  long receive(char* buffer, std::size_t size, int timeout_ms) override;

 private:
  FtpScript& script_;
  std::vector<std::string>* log_;
  FakePlatform* clock_;
  std::string pending_;  // sent by the server, not yet received
  FtpScript::Session session_{&pending_};
  std::string received_;  // from the client, short of a line end
};

// Files in memory (the fake platform) with real TCP to 127.0.0.1 only: a
// connection to any other host is refused and recorded, so a client that
// follows the address of a 227 reply fails without leaving the machine.
class LoopbackPlatform : public FakePlatform {
 public:
  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port, int timeout_ms,
                                            int* error_number) override;
  std::unique_ptr<BinaryFile> createForWriting(const std::string& path, FileError* error) override;

  // "host:port" of every connection asked for.
  std::vector<std::string> connections;
  // Writes to files created from now on fail after this many bytes.
  long fail_writes_after = -1;
};

// The 227 reply for a data listener, with the given address numbers.
std::string passiveReply(const std::string& address, int port);

}  // namespace quarvel
