// The credit store Credits.dat: for each uploaded file that was credited to
// a trial or quota member, who was credited how much for it. An append
// credits only what the file grew by, and a deletion takes back exactly
// what was credited, from whoever was credited, whoever deletes the file.
//
// Lines are <local path>=<user>::<megabytes>[::<user>::<megabytes>...].
// The key is the file's local path in the form the upload event gives it
// (backslashes, doubled separators folded), compared without regard to
// case as Windows compares paths; "%" and "=" in it are written %25 and
// %3D so that a path never splits its line. The file is separate from the
// trial and quota stores, whose bytes it never changes; a site without it
// credits and takes back as before.
#pragma once

#include <string>
#include <vector>

#include "stores/store_file.h"

namespace quarvel {

struct FileCredit {
  std::string user;
  double mb = 0;
};

class CreditStore {
 public:
  explicit CreditStore(Files& files);

  // What the file at `path` was credited, in the order first credited;
  // empty when it has no entry (also when the store cannot be read).
  std::vector<FileCredit> creditsOf(const std::string& path);
  // Replaces the file's entry; an empty list removes it.
  void setCredits(const std::string& path, const std::vector<FileCredit>& credits);

  // Looks at the `count` oldest entries: those whose file is gone (removed
  // or renamed without a deletion event) are dropped, the others move to
  // the end. Each upload sweeps a little, so the store holds the files
  // still there plus at most a sweep's round of stale ones.
  void sweep(Files& files, std::size_t count);

  StoreFile& file() { return file_; }

 private:
  StoreFile file_;
};

// The store key of a local path, and the path of a key.
std::string creditKey(const std::string& path);
std::string pathOfCreditKey(const std::string& key);

}  // namespace quarvel
