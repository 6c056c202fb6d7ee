#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/socket_connection.h"
#include "platform/test_listener.h"

namespace quarvel {
namespace {

bool waitReadable(SOCKET s, int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval limit;
  limit.tv_sec = timeout_ms / 1000;
  limit.tv_usec = (timeout_ms % 1000) * 1000;
  return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

class WindowsListener : public TestListener {
 public:
  WindowsListener(SOCKET s, int port) : s_(s), port_(port) {}
  ~WindowsListener() override { closesocket(s_); }
  int port() const override { return port_; }
  std::unique_ptr<TcpConnection> accept(int timeout_ms) override {
    if (!waitReadable(s_, timeout_ms)) return nullptr;
    SOCKET s = ::accept(s_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return nullptr;
    return socketConnection(static_cast<std::intptr_t>(s));
  }

 private:
  SOCKET s_;
  int port_;
};

}  // namespace

std::unique_ptr<TestListener> listenOnLoopback() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return nullptr;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return nullptr;
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return nullptr;
  }
  return std::make_unique<WindowsListener>(s, ntohs(address.sin_port));
}

}  // namespace quarvel
