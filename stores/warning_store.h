// The warning store Warned.dat: who was warned today of a coming trial or
// quota deadline, one line per warning, kind:name=MM-DD-YYYY. It holds
// only the current day's warnings (older lines go at the next warning
// run), so it stays as small as one day's warnings. It is a file of its
// own, made only once a warning is due: a site without warnings never has
// it, and the trial and quota stores, which older versions read, never
// hold a line they would take for a user.
#pragma once

#include <string>

#include "config/files.h"
#include "stores/store_file.h"

namespace quarvel {

enum class WarningKind { kTrial, kQuota };

class WarningStore {
 public:
  explicit WarningStore(Files& files);

  bool warnedOn(WarningKind kind, const std::string& name, const std::string& day);
  void markWarned(WarningKind kind, const std::string& name, const std::string& day);
  // Drops every line of another day than `day`.
  void keepOnly(const std::string& day);

  // Writes the store (see StoreFile::commit). A store that could not be
  // read is never written.
  FileError commit();
  const std::string& path() const { return file_.path(); }

 private:
  static std::string key(WarningKind kind, const std::string& name);
  StoreFile file_;
};

}  // namespace quarvel
