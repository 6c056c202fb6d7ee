// PREDL and POSDL: the size of a file about to be deleted is noted as a memo
// in each store that holds the user; once the file is really gone, what the
// file was credited is taken back from whoever it was credited to, or, for
// a file the credit store does not know, the memo's size from the user who
// deleted it. RENAME RNFR and RNTO (after the server's rename commands)
// name their files as DELE does; the credits follow the file (runRename).
#pragma once

#include <string>

#include "stores/size_memo.h"

namespace quarvel {

// The file a DELE names, resolved as the server resolves it: `name` as the
// client typed it (a bare name, a path relative to the current folder, or
// an absolute virtual path), `folder` the local folder of the current
// folder (the variable path), `pwd` the current virtual folder.
struct DeletedPath {
  std::string local;     // normalised as the upload event's path
  std::string virtual_;  // "/a/b.rar"; empty when it cannot be known
};
DeletedPath resolveDeletedPath(const std::string& name, const std::string& folder,
                               const std::string& pwd);

}  // namespace quarvel
