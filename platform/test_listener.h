// A listening TCP socket on 127.0.0.1 for tests that play a server (the
// scripted FTP server). Built into the unit tests only; the program never
// listens.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace quarvel {

class TestListener {
 public:
  virtual ~TestListener() = default;
  // The port it listens on.
  virtual int port() const = 0;
  // Waits up to `timeout_ms` for one connection: null on a time-out or an
  // error. The connection behaves like one from Platform::connectTcp.
  virtual std::unique_ptr<TcpConnection> accept(int timeout_ms) = 0;
};

// Listens on 127.0.0.1 on a free port chosen by the system; null when that
// fails. Closed when destroyed.
std::unique_ptr<TestListener> listenOnLoopback();

}  // namespace quarvel
