// The POSIX side of TestListener (test_listener.h).
#ifndef _WIN32

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/test_listener.h"

namespace quarvel {
namespace {

bool waitFor(std::intptr_t fd, int timeout_ms) {
  struct pollfd pfd = {static_cast<int>(fd), POLLIN, 0};
  return ::poll(&pfd, 1, timeout_ms) > 0;
}

}  // namespace

TestListener::TestListener() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  struct sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 4) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return;
  }
  listener_ = fd;
  port_ = ntohs(address.sin_port);
}

TestListener::~TestListener() {
  closeClient();
  closeListener();
}

bool TestListener::accept(int timeout_ms) {
  if (!ok() || !waitFor(listener_, timeout_ms)) return false;
  int fd = ::accept(static_cast<int>(listener_), nullptr, nullptr);
  if (fd < 0) return false;
  client_ = fd;
  return true;
}

bool TestListener::send(const std::string& bytes) {
  if (client_ == kNone) return false;
  return ::send(static_cast<int>(client_), bytes.data(), bytes.size(),
                MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string TestListener::receive(std::size_t count, int timeout_ms) {
  std::string got;
  char buffer[4096];
  while (client_ != kNone && got.size() < count &&
         waitFor(client_, timeout_ms)) {
    ssize_t n = ::recv(static_cast<int>(client_), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void TestListener::closeClient() {
  if (client_ != kNone) ::close(static_cast<int>(client_));
  client_ = kNone;
}

void TestListener::closeListener() {
  if (listener_ != kNone) ::close(static_cast<int>(listener_));
  listener_ = kNone;
}

}  // namespace quarvel

#endif  // _WIN32
