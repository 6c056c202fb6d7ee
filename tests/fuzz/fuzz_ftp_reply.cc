// Any bytes as a server's replies: the line assembler and every reply
// parser end, and nothing reads or writes out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ftp/reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarvel;
  const char* bytes = reinterpret_cast<const char*>(data);
  LineAssembler assembler;
  std::size_t offset = 0;
  while (offset < size) {
    offset += assembler.feed(bytes + offset, size - offset);
    if (!assembler.complete() && offset < size) continue;
    std::string line = assembler.take();
    replyCode(line);
    isContinuationLine(line);
    replyText(line);
    int port = 0;
    passivePort(line, &port);
    announcedSize(line);
  }
  localErrorLine(static_cast<long>(size) * 997 - 10054, std::string(bytes, size < 16 ? size : 16));
  return 0;
}
