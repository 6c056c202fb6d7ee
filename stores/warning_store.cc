#include "stores/warning_store.h"

#include "config/text.h"
#include "server/contract.h"

namespace quarvel {

WarningStore::WarningStore(Files& files)
    : file_(files, contract::kWarningStoreFile, StoreRules{true, {}}) {}

std::string WarningStore::key(WarningKind kind, const std::string& name) {
  return std::string(kind == WarningKind::kTrial ? "trial:" : "quota:") + trimBlanks(name);
}

bool WarningStore::warnedOn(WarningKind kind, const std::string& name, const std::string& day) {
  return file_.read(key(kind, name)) == day;
}

void WarningStore::markWarned(WarningKind kind, const std::string& name, const std::string& day) {
  file_.write(key(kind, name) + "=" + day);
}

void WarningStore::keepOnly(const std::string& day) {
  for (const std::string& line : file_.readAllLines()) {
    std::size_t equals = line.find('=');
    std::string line_key = line.substr(0, equals);
    if (equals == std::string::npos || file_.read(line_key) != day) file_.write(line_key + "=");
  }
}

FileError WarningStore::commit() {
  FileError error = file_.readError();
  if (error != FileError::kNone) return error;
  return file_.commit();
}

}  // namespace quarvel
