// Any bytes as a store file: reading, listing, changes and a commit end, and
// nothing reads or writes out of bounds. Thin on purpose: it drives the
// store through its public interface only.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/files.h"
#include "config/output.h"
#include "platform/fake_platform.h"
#include "stores/store_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quarvel;
  std::string text(reinterpret_cast<const char*>(data), size);
  FakePlatform platform;
  platform.addFile("C:\\site\\Quarvel.dat", text);
  Output out(platform);
  Files files(platform, out, "C:\\site");
  StoreFile store(files, "\\Quarvel.dat", StoreRules{true, {"_predel_size_"}});
  std::string first_key = text.substr(0, text.find('='));
  store.read(first_key);
  store.read("bob");
  store.readAllLines();
  store.listKeys();
  store.write("bob=1.5::3::Couriers");
  store.write(first_key + "=");
  store.commit();
  store.readAllLines();
  return 0;
}
