#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/socket_connection.h"
#include "platform/test_listener.h"

namespace quarvel {
namespace {

bool waitReadable(int fd, int timeout_ms) {
  struct pollfd pfd = {fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&pfd, 1, timeout_ms);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

class PosixListener : public TestListener {
 public:
  PosixListener(int fd, int port) : fd_(fd), port_(port) {}
  ~PosixListener() override { ::close(fd_); }
  int port() const override { return port_; }
  std::unique_ptr<TcpConnection> accept(int timeout_ms) override {
    if (!waitReadable(fd_, timeout_ms)) return nullptr;
    int fd = ::accept(fd_, nullptr, nullptr);
    if (fd < 0) return nullptr;
    return socketConnection(fd);
  }

 private:
  int fd_;
  int port_;
};

}  // namespace

std::unique_ptr<TestListener> listenOnLoopback() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<struct sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixListener>(fd, ntohs(address.sin_port));
}

}  // namespace quarvel
