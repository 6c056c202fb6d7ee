// The Windows side of TestListener (test_listener.h).
#ifdef _WIN32

#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/test_listener.h"

namespace quarvel {
namespace {

SOCKET asSocket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

bool waitFor(std::intptr_t handle, int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(asSocket(handle), &readable);
  timeval limit = {timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

}  // namespace

TestListener::TestListener() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return;
  }
  listener_ = static_cast<std::intptr_t>(s);
  port_ = ntohs(address.sin_port);
}

TestListener::~TestListener() {
  closeClient();
  closeListener();
  WSACleanup();
}

bool TestListener::accept(int timeout_ms) {
  if (!ok() || !waitFor(listener_, timeout_ms)) return false;
  SOCKET s = ::accept(asSocket(listener_), nullptr, nullptr);
  if (s == INVALID_SOCKET) return false;
  client_ = static_cast<std::intptr_t>(s);
  return true;
}

bool TestListener::send(const std::string& bytes) {
  if (client_ == kNone) return false;
  return ::send(asSocket(client_), bytes.data(), static_cast<int>(bytes.size()),
                0) == static_cast<int>(bytes.size());
}

std::string TestListener::receive(std::size_t count, int timeout_ms) {
  std::string got;
  char buffer[4096];
  while (client_ != kNone && got.size() < count &&
         waitFor(client_, timeout_ms)) {
    int n = recv(asSocket(client_), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void TestListener::closeClient() {
  if (client_ != kNone) closesocket(asSocket(client_));
  client_ = kNone;
}

void TestListener::closeListener() {
  if (listener_ != kNone) closesocket(asSocket(listener_));
  listener_ = kNone;
}

}  // namespace quarvel

#endif  // _WIN32
