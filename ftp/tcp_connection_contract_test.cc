// The TcpConnection contract, checked on a real loopback pair and on the
// in-memory connection of the scripted server, so that the tests of whole
// sites talk to a connection that behaves as the real one does. The peer
// greets, answers each command line it receives, and may close after its
// answer; the client's side is the connection under test.
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ftp/scripted_server_test_util.h"
#include "gtest/gtest.h"
#include "platform/fake_platform.h"
#include "platform/platform.h"
#include "platform/test_listener.h"

namespace quarvel {
namespace {

constexpr int kWaitMs = 200;

struct Answer {
  std::string reply;
  bool then_close = false;
};

// A connection to a peer on loopback; the peer answers when serve() is
// called, in the test's own thread.
class LoopbackPair {
 public:
  void start(const std::string& greeting, std::map<std::string, Answer> answers) {
    answers_ = std::move(answers);
    listener_ = listenOnLoopback();
    ASSERT_NE(nullptr, listener_);
    int error_number = 0;
    client_ = realPlatform().connectTcp("127.0.0.1", listener_->port(), 3000, &error_number);
    ASSERT_NE(nullptr, client_) << error_number;
    peer_ = listener_->accept(3000);
    ASSERT_NE(nullptr, peer_);
    if (!greeting.empty()) {
      ASSERT_TRUE(peer_->sendAll(greeting.data(), greeting.size()));
    }
  }
  TcpConnection& connection() { return *client_; }
  // Reads one command line and answers it.
  void serve() {
    std::string line;
    char c;
    while (peer_ && peer_->receive(&c, 1, 3000) == 1 && c != '\n') line += c;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    received_.push_back(line);
    const Answer& answer = answers_[line.substr(0, line.find(' '))];
    peer_->sendAll(answer.reply.data(), answer.reply.size());
    if (answer.then_close) peer_.reset();
  }
  const std::vector<std::string>& received() const { return received_; }
  std::int64_t clockMs() { return realPlatform().monotonicMs(); }

 private:
  std::map<std::string, Answer> answers_;
  std::unique_ptr<TestListener> listener_;
  std::unique_ptr<TcpConnection> client_;
  std::unique_ptr<TcpConnection> peer_;
  std::vector<std::string> received_;
};

// The scripted connection in memory, its waits passing on a fake clock.
class ScriptedPair {
 public:
  void start(const std::string& greeting, const std::map<std::string, Answer>& answers) {
    script_.greeting = greeting;
    for (const auto& entry : answers) {
      Answer answer = entry.second;
      script_.on(entry.first, [answer](FtpScript::Session& session, const std::string&) {
        session.send(answer.reply);
        if (answer.then_close) session.closeControl();
      });
    }
    clock_.setClock(1000);
    connection_ = std::make_unique<ScriptedConnection>(script_, &received_, &clock_);
  }
  TcpConnection& connection() { return *connection_; }
  void serve() {}  // the script answers as the line arrives
  const std::vector<std::string>& received() const { return received_; }
  std::int64_t clockMs() { return clock_.monotonicMs(); }

 private:
  FtpScript script_;
  FakePlatform clock_;
  std::vector<std::string> received_;
  std::unique_ptr<TcpConnection> connection_;
};

template <typename Pair>
class TcpConnectionContract : public ::testing::Test {
 protected:
  // Everything up to `count` bytes that arrives, `piece` bytes at most per
  // receive; stops at the first receive that gives no bytes.
  std::string receiveUpTo(std::size_t count, std::size_t piece = 64) {
    std::string got;
    char buffer[64];
    while (got.size() < count) {
      long n = pair_.connection().receive(buffer, piece, 3000);
      if (n <= 0) break;
      EXPECT_LE(static_cast<std::size_t>(n), piece);
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

  Pair pair_;
};

using Pairs = ::testing::Types<LoopbackPair, ScriptedPair>;
TYPED_TEST_SUITE(TcpConnectionContract, Pairs);

TYPED_TEST(TcpConnectionContract, BytesArriveInOrderNoMoreThanAskedFor) {
  this->pair_.start("220-Welcome\r\n220 Ready\r\n", {});
  EXPECT_EQ("220-Welcome\r\n220 Ready\r\n", this->receiveUpTo(24, 5));
}

TYPED_TEST(TcpConnectionContract, NothingToReadIsATimeOutAfterTheWait) {
  this->pair_.start("", {});
  char buffer[16];
  std::int64_t started = this->pair_.clockMs();
  EXPECT_EQ(-1, this->pair_.connection().receive(buffer, sizeof buffer, kWaitMs));
  std::int64_t waited = this->pair_.clockMs() - started;
  EXPECT_GE(waited, kWaitMs - 50);
  EXPECT_LT(waited, 10 * kWaitMs);
}

TYPED_TEST(TcpConnectionContract, SentLinesReachThePeerAndItsAnswerComesBack) {
  this->pair_.start("220 Ready\r\n", {{"NOOP", {"200 OK\r\n"}}, {"SITE", {"200-a\r\n200 b\r\n"}}});
  EXPECT_EQ("220 Ready\r\n", this->receiveUpTo(11));
  // A line may come in pieces; the peer sees it whole.
  ASSERT_TRUE(this->pair_.connection().sendAll("NO", 2));
  ASSERT_TRUE(this->pair_.connection().sendAll("OP\r\n", 4));
  this->pair_.serve();
  EXPECT_EQ("200 OK\r\n", this->receiveUpTo(8));
  ASSERT_TRUE(this->pair_.connection().sendAll("SITE WHO\r\n", 10));
  this->pair_.serve();
  EXPECT_EQ("200-a\r\n200 b\r\n", this->receiveUpTo(14));
  EXPECT_EQ((std::vector<std::string>{"NOOP", "SITE WHO"}), this->pair_.received());
}

TYPED_TEST(TcpConnectionContract, APeerThatClosesIsReadToTheEndThenZero) {
  this->pair_.start("220 Ready\r\n", {{"QUIT", {"221 Bye\r\n", true}}});
  EXPECT_EQ("220 Ready\r\n", this->receiveUpTo(11));
  ASSERT_TRUE(this->pair_.connection().sendAll("QUIT\r\n", 6));
  this->pair_.serve();
  EXPECT_EQ("221 Bye\r\n", this->receiveUpTo(9));
  char buffer[16];
  EXPECT_EQ(0, this->pair_.connection().receive(buffer, sizeof buffer, kWaitMs));
  EXPECT_EQ(0, this->pair_.connection().receive(buffer, sizeof buffer, kWaitMs));
}

}  // namespace
}  // namespace quarvel
