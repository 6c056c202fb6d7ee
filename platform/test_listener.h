// A TCP listener on 127.0.0.1 for the platform's own tests. The program only
// ever connects, so the listening side exists for tests alone; the two
// implementations (test_listener_posix_test.cc, test_listener_windows_test.cc)
// each compile on their own system only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarvel {

class TestListener {
 public:
  // Listens on a free loopback port; ok() tells whether that worked.
  TestListener();
  ~TestListener();
  TestListener(const TestListener&) = delete;
  TestListener& operator=(const TestListener&) = delete;

  bool ok() const { return listener_ != kNone; }
  int port() const { return port_; }

  // Waits up to `timeout_ms` for one client and takes its connection.
  bool accept(int timeout_ms);
  bool send(const std::string& bytes);
  // What arrives within `timeout_ms`, stopping once `count` bytes are in or
  // the client closes.
  std::string receive(std::size_t count, int timeout_ms);
  // Closes the accepted connection: the client sees the end of the data.
  void closeClient();
  // Stops listening: the port is closed from now on.
  void closeListener();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t listener_ = kNone;
  std::intptr_t client_ = kNone;
  int port_ = 0;
};

}  // namespace quarvel
