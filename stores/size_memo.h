// Size memos: before a deletion, the size of the file about to go is noted
// in each store where its user is a member (user_PREDEL_SIZE_file=MB); the
// deletion's end consumes the note and, when the file is gone, takes the
// size off the user's total.
#pragma once

#include <optional>
#include <string>

#include "stores/store_file.h"

namespace quarvel {

// The memo key: the file name as stored names are written (stored_names.h),
// so that the memo written before a deletion is found after it.
std::string sizeMemoKey(const std::string& user, const std::string& file_name);

class SizeMemos {
 public:
  explicit SizeMemos(StoreFile& file) : file_(file) {}

  // The noted size; none when nothing is noted (a note that is no number
  // is there, and reads as 0).
  std::optional<double> find(const std::string& user, const std::string& file_name);
  void put(const std::string& user, const std::string& file_name, double mb);
  void drop(const std::string& user, const std::string& file_name);

 private:
  StoreFile& file_;
};

}  // namespace quarvel
