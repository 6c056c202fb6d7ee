// The TcpConnection of an open socket, shared by a platform implementation
// and the test listener of the same system, so both speak through one piece
// of code. The socket is passed as an integer (a file descriptor on POSIX, a
// SOCKET on Windows) and is closed with the connection.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace quarvel {

std::unique_ptr<TcpConnection> socketConnection(std::intptr_t socket);

}  // namespace quarvel
