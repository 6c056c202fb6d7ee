#include "ftp/scripted_server_test_util.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace quarvel {

namespace {

// Passes writes on until the limit, then fails (a full disk).
class LimitedWriter : public BinaryFile {
 public:
  LimitedWriter(std::unique_ptr<BinaryFile> inner, long limit)
      : inner_(std::move(inner)), left_(limit) {}
  long read(char*, std::size_t) override { return -1; }
  bool write(const char* data, std::size_t size) override {
    if (static_cast<long>(size) > left_) return false;
    left_ -= static_cast<long>(size);
    return inner_->write(data, size);
  }

 private:
  std::unique_ptr<BinaryFile> inner_;
  long left_;
};

std::string upperCase(std::string word) {
  for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word;
}

}  // namespace

std::unique_ptr<TcpConnection> LoopbackPlatform::connectTcp(const std::string& host, int port,
                                                            int timeout_ms, int* error_number) {
  connections.push_back(host + ":" + std::to_string(port));
  if (host != "127.0.0.1") {
    *error_number = 10065;  // host unreachable
    return nullptr;
  }
  return realPlatform().connectTcp(host, port, timeout_ms, error_number);
}

std::unique_ptr<BinaryFile> LoopbackPlatform::createForWriting(const std::string& path,
                                                               FileError* error) {
  std::unique_ptr<BinaryFile> file = FakePlatform::createForWriting(path, error);
  if (!file || fail_writes_after < 0) return file;
  return std::make_unique<LimitedWriter>(std::move(file), fail_writes_after);
}

std::string passiveReply(const std::string& address, int port) {
  return "227 Entering Passive Mode (" + address + "," + std::to_string(port / 256) + "," +
         std::to_string(port % 256) + ")\r\n";
}

// --- The script ----------------------------------------------------------

FtpScript::Session::Session(std::unique_ptr<TcpConnection> control)
    : control_(std::move(control)) {}

void FtpScript::Session::send(const std::string& raw) {
  if (output_) {
    if (!ended_) output_->append(raw);
  } else if (control_) {
    control_->sendAll(raw.data(), raw.size());
  }
}

void FtpScript::Session::closeControl() {
  control_.reset();
  ended_ = true;
}

int FtpScript::Session::listenForData() {
  if (output_) return 0;
  passive_ = listenOnLoopback();
  return passive_ ? passive_->port() : 0;
}

bool FtpScript::Session::acceptData() {
  if (!passive_) return false;
  data_ = passive_->accept(kServerWaitMs);
  passive_.reset();
  return data_ != nullptr;
}

void FtpScript::Session::sendData(const std::string& bytes) {
  if (data_) data_->sendAll(bytes.data(), bytes.size());
}

std::string FtpScript::Session::receiveData() {
  std::string bytes;
  char buffer[16384];
  long n;
  while (data_ && (n = data_->receive(buffer, sizeof buffer, kServerWaitMs)) > 0) {
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

void FtpScript::Session::closeData() { data_.reset(); }

void FtpScript::reply(const std::string& word, const std::string& raw) {
  handlers_[upperCase(word)] = [raw](Session& s, const std::string&) { s.send(raw); };
}

void FtpScript::on(const std::string& word, Handler handler) {
  handlers_[upperCase(word)] = std::move(handler);
}

void FtpScript::replyTo(const std::string& line, const std::string& raw) {
  line_replies_[line] = raw;
}

void FtpScript::answer(Session& session, const std::string& line, std::vector<std::string>* log) {
  log->push_back(line);
  auto exact = line_replies_.find(line);
  if (exact != line_replies_.end()) {
    session.send(exact->second);
    return;
  }
  std::size_t blank = line.find(' ');
  std::string word = upperCase(line.substr(0, blank));
  std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
  auto it = handlers_.find(word);
  if (it == handlers_.end()) {
    session.send(unknown_reply);
  } else {
    it->second(session, argument);
  }
}

// --- On loopback ---------------------------------------------------------

ScriptedFtpServer::ScriptedFtpServer() : listener_(listenOnLoopback()) { installDefaults(); }

ScriptedFtpServer::~ScriptedFtpServer() { join(); }

void ScriptedFtpServer::installDefaults() {
  reply("USER", "331 Password required\r\n");
  reply("PASS", "230 Logged in\r\n");
  reply("TYPE", "200 Type set\r\n");
  reply("CWD", "250 Folder changed\r\n");
  reply("DELE", "250 File deleted\r\n");
  reply("RMD", "250 Folder removed\r\n");
  reply("MKD", "257 \"/new\" created\r\n");
  reply("RNFR", "350 Ready for RNTO\r\n");
  reply("RNTO", "250 Renamed\r\n");
  reply("PWD", "257 \"/\" is the current folder\r\n");
  on("QUIT", [](Session& s, const std::string&) {
    s.send("221 Goodbye\r\n");
    s.end();
  });
  on("PASV", [this](Session& s, const std::string&) {
    s.send(passiveReply(passive_address, s.listenForData()));
  });
  on("LIST", [this](Session& s, const std::string&) {
    s.send("150 Here comes the listing\r\n");
    if (!s.acceptData()) return;
    s.sendData(listing);
    s.closeData();
    s.send("226 Transfer complete\r\n");
  });
  on("RETR", [this](Session& s, const std::string& name) {
    s.send("150 Opening BINARY mode data connection for " + name + " (" +
           std::to_string(file_contents.size()) + " bytes)\r\n");
    if (!s.acceptData()) return;
    s.sendData(file_contents);
    s.closeData();
    s.send("226 Transfer complete\r\n");
  });
  on("STOR", [this](Session& s, const std::string&) {
    s.send("150 Ok to send data\r\n");
    if (!s.acceptData()) return;
    stored_ = s.receiveData();
    s.closeData();
    s.send("226 Transfer complete\r\n");
  });
}

void ScriptedFtpServer::start() {
  thread_ = std::thread([this] { serve(); });
}

void ScriptedFtpServer::serve() {
  Session session(listener_->accept(kServerWaitMs));
  if (!session.control_) return;
  session.send(greeting);
  std::string pending;
  char buffer[4096];
  while (!session.ended()) {
    std::size_t lf = pending.find('\n');
    if (lf == std::string::npos) {
      long n = session.control_->receive(buffer, sizeof buffer, kServerWaitMs);
      if (n <= 0) break;
      received_.append(buffer, static_cast<std::size_t>(n));
      pending.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    std::string line = pending.substr(0, lf);
    pending.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    answer(session, line, &commands_);
  }
}

void ScriptedFtpServer::join() {
  if (thread_.joinable()) thread_.join();
}

const std::vector<std::string>& ScriptedFtpServer::commands() {
  join();
  return commands_;
}

const std::string& ScriptedFtpServer::stored() {
  join();
  return stored_;
}

const std::string& ScriptedFtpServer::received() {
  join();
  return received_;
}

// --- In memory -----------------------------------------------------------

ScriptedConnection::ScriptedConnection(FtpScript& script, std::vector<std::string>* log,
                                       FakePlatform* clock)
    : script_(script), log_(log), clock_(clock), pending_(script.greeting) {}

bool ScriptedConnection::sendAll(const char* data, std::size_t size) {
  if (session_.ended()) return false;
  received_.append(data, size);
  std::size_t end;
  while (!session_.ended() && (end = received_.find('\n')) != std::string::npos) {
    std::string line = received_.substr(0, end);
    received_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    script_.answer(session_, line, log_);
  }
  return true;
}

long ScriptedConnection::receive(char* buffer, std::size_t size, int timeout_ms) {
  if (pending_.empty() && session_.ended()) return 0;
  if (pending_.empty()) {
    if (clock_ != nullptr) clock_->advanceClock(timeout_ms);
    return -1;
  }
  std::size_t n = std::min(size, pending_.size());
  std::memcpy(buffer, pending_.data(), n);
  pending_.erase(0, n);
  return static_cast<long>(n);
}

}  // namespace quarvel
