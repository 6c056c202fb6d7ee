#include "ftp/scripted_server_test_util.h"

#include <cctype>

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

}  // namespace

std::unique_ptr<TcpConnection> LoopbackPlatform::connectTcp(
    const std::string& host, int port, int timeout_ms, int* error_number) {
  connections.push_back(host + ":" + std::to_string(port));
  if (host != "127.0.0.1") {
    *error_number = 10065;  // host unreachable
    return nullptr;
  }
  return realPlatform().connectTcp(host, port, timeout_ms, error_number);
}

std::unique_ptr<BinaryFile> LoopbackPlatform::createForWriting(
    const std::string& path, FileError* error) {
  std::unique_ptr<BinaryFile> file = FakePlatform::createForWriting(path, error);
  if (!file || fail_writes_after < 0) return file;
  return std::make_unique<LimitedWriter>(std::move(file), fail_writes_after);
}

std::string passiveReply(const std::string& address, int port) {
  return "227 Entering Passive Mode (" + address + "," +
         std::to_string(port / 256) + "," + std::to_string(port % 256) +
         ")\r\n";
}

void ScriptedFtpServer::Session::send(const std::string& raw) {
  if (control_) control_->sendAll(raw.data(), raw.size());
}

void ScriptedFtpServer::Session::closeControl() {
  control_.reset();
  ended_ = true;
}

bool ScriptedFtpServer::Session::acceptData() {
  if (!passive_) return false;
  data_ = passive_->accept(kServerWaitMs);
  passive_.reset();
  return data_ != nullptr;
}

void ScriptedFtpServer::Session::sendData(const std::string& bytes) {
  if (data_) data_->sendAll(bytes.data(), bytes.size());
}

std::string ScriptedFtpServer::Session::receiveData() {
  std::string bytes;
  char buffer[16384];
  long n;
  while (data_ && (n = data_->receive(buffer, sizeof buffer, kServerWaitMs)) > 0) {
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

void ScriptedFtpServer::Session::closeData() { data_.reset(); }

ScriptedFtpServer::ScriptedFtpServer() : listener_(listenOnLoopback()) {
  installDefaults();
}

ScriptedFtpServer::~ScriptedFtpServer() { join(); }

void ScriptedFtpServer::reply(const std::string& word, const std::string& raw) {
  handlers_[word] = [raw](Session& s, const std::string&) { s.send(raw); };
}

void ScriptedFtpServer::on(const std::string& word, Handler handler) {
  handlers_[word] = std::move(handler);
}

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
    s.passive_ = listenOnLoopback();
    s.send(passiveReply(passive_address, s.passive_->port()));
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

void ScriptedFtpServer::start() { thread_ = std::thread([this] { serve(); }); }

void ScriptedFtpServer::serve() {
  Session session(*this);
  session.control_ = listener_->accept(kServerWaitMs);
  if (!session.control_) return;
  session.send(greeting);
  std::string pending;
  char buffer[4096];
  while (!session.ended_) {
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
    commands_.push_back(line);
    std::size_t blank = line.find(' ');
    std::string word = line.substr(0, blank);
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string argument = blank == std::string::npos ? "" : line.substr(blank + 1);
    auto it = handlers_.find(word);
    if (it == handlers_.end()) {
      session.send("500 Unknown command\r\n");
    } else {
      it->second(session, argument);
    }
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

}  // namespace quarvel
