#include "stores/size_memo.h"

#include "config/numbers.h"
#include "stores/stored_names.h"

namespace quarvel {

std::string sizeMemoKey(const std::string& user, const std::string& file_name) {
  return user + "_PREDEL_SIZE_" + encodeStoredName(file_name);
}

std::optional<double> SizeMemos::find(const std::string& user, const std::string& file_name) {
  std::string memo = file_.read(sizeMemoKey(user, file_name));
  if (memo.empty()) return std::nullopt;
  return readNumber(memo);
}

void SizeMemos::put(const std::string& user, const std::string& file_name, double mb) {
  file_.write(sizeMemoKey(user, file_name) + "=" + plainForm(mb));
}

void SizeMemos::drop(const std::string& user, const std::string& file_name) {
  file_.write(sizeMemoKey(user, file_name) + "=");
}

}  // namespace quarvel
