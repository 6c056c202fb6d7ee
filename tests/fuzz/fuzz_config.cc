// Any bytes as quarvel.conf: every lookup ends, and nothing reads or writes
// out of bounds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config.h"
#include "config/files.h"
#include "config/output.h"
#include "platform/fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarvel;
  std::string text(reinterpret_cast<const char*>(data), size);
  FakePlatform platform;
  platform.addFile("C:\\site\\quarvel.conf", text);
  Output out(platform);
  Files files(platform, out, "C:\\site");
  Config config(files, out);
  // Keys the program asks for, odd ones, and the input's own first key.
  for (const std::string& key :
       {std::string("TRIAL_UPLOAD"), std::string("ftp_stats"), std::string(""), std::string("="),
        std::string("\""), text.substr(0, text.find('='))}) {
    config.configValue(key);
  }
  return 0;
}
