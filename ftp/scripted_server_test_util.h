// A scripted FTP server on loopback for the client's unit tests. It serves
// one control connection in its own thread: sends the greeting, logs every
// command line it receives and answers from a table of default replies that
// each test overrides where it needs (a multi-line 230, a refused RNFR, a
// PASV pointing elsewhere, a stall, a close in mid-reply). Unknown commands
// get "500", so a surprise shows in the replies and in the log.
//
// Every wait of the server is bounded (kServerWaitMs), so a test whose
// client misbehaves ends by itself.
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

class ScriptedFtpServer {
 public:
  static constexpr int kServerWaitMs = 5000;

  // What a command handler may do on the session.
  class Session {
   public:
    explicit Session(ScriptedFtpServer& server) : server_(server) {}
    // Raw bytes on the control connection (line ends included).
    void send(const std::string& raw);
    // Drops the control connection at once and ends the session.
    void closeControl();
    // Accepts the data connection on the last PASV port.
    bool acceptData();
    void sendData(const std::string& bytes);
    // Everything until the client closes the data connection.
    std::string receiveData();
    void closeData();
    // Ends the session after this command (the connection closes).
    void end() { ended_ = true; }

   private:
    friend class ScriptedFtpServer;
    ScriptedFtpServer& server_;
    std::unique_ptr<TcpConnection> control_;
    std::unique_ptr<TestListener> passive_;
    std::unique_ptr<TcpConnection> data_;
    bool ended_ = false;
  };
  using Handler = std::function<void(Session&, const std::string& argument)>;

  ScriptedFtpServer();
  ~ScriptedFtpServer();

  int port() const { return listener_->port(); }

  // --- Script (before start) ------------------------------------------
  // Raw bytes sent on accepting; empty: the server stays silent.
  std::string greeting = "220 Ready\r\n";
  // The address numbers in 227 replies.
  std::string passive_address = "127,0,0,1";
  // Sent on LIST and RETR.
  std::string listing;
  std::string file_contents;
  // Replies to every `word` command with exactly these bytes.
  void reply(const std::string& word, const std::string& raw);
  void on(const std::string& word, Handler handler);

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
  std::map<std::string, Handler> handlers_;
  std::thread thread_;
  std::vector<std::string> commands_;
  std::string stored_;
  std::string received_;
};

// Files in memory (the fake platform) with real TCP to 127.0.0.1 only: a
// connection to any other host is refused and recorded, so a client that
// follows the address of a 227 reply fails without leaving the machine.
class LoopbackPlatform : public FakePlatform {
 public:
  std::unique_ptr<TcpConnection> connectTcp(const std::string& host, int port,
                                            int timeout_ms,
                                            int* error_number) override;
  std::unique_ptr<BinaryFile> createForWriting(const std::string& path,
                                               FileError* error) override;

  // "host:port" of every connection asked for.
  std::vector<std::string> connections;
  // Writes to files created from now on fail after this many bytes.
  long fail_writes_after = -1;
};

// The 227 reply for a data listener, with the given address numbers.
std::string passiveReply(const std::string& address, int port);

}  // namespace quarvel
