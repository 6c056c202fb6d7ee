// Any bytes as a store file: reading, listing, changes and a commit end, and
// nothing reads or writes out of bounds; any bytes as a member record: a
// rewrite keeps them exactly once they hold three fields. Thin on purpose:
// it drives the store and the records through their public interfaces only.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/files.h"
#include "config/output.h"
#include "config/text.h"
#include "platform/fake_platform.h"
#include "stores/store_file.h"
#include "stores/store_record.h"

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

  std::string encoded = TrialRecord::parse(text).encode();
  bool three_fields = splitAt(text, "::").size() >= 3;
  if ((three_fields && encoded != text) || TrialRecord::parse(encoded).encode() != encoded ||
      QuotaRecord::parse(text).encode() != encoded) {
    __builtin_trap();
  }
  return 0;
}
