// File helpers in the data folder and on the server's files.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "config/output.h"
#include "platform/platform.h"

namespace quarvel {

// The most that is read of one server file. A user file is a few hundred
// bytes, so one past a megabyte is damaged; the tables hold a line per user
// or group and get more room, yet a run never takes unbounded memory or disk.
constexpr std::uint64_t kUserFileMaxBytes = std::uint64_t{1} << 20;
constexpr std::uint64_t kServerTableMaxBytes = std::uint64_t{64} << 20;

class Files {
 public:
  Files(Platform& platform, Output& out, std::string data_folder)
      : platform_(platform), out_(out), data_folder_(std::move(data_folder)) {}

  // The data folder followed by `name`, which carries its own leading
  // backslash ("\Quarvel.dat").
  std::string dataPath(const std::string& name) const;

  // Whether the file can be opened for reading, or opening is denied (the
  // file is there but held by another process).
  bool fileExists(const std::string& path);

  // Whether a directory search for the path followed by "*" finds anything.
  bool folderExists(const std::string& path);

  // Size in megabytes, rounded to one decimal; 0 when it cannot be opened.
  double fileSizeMB(const std::string& path);

  // The whole text of a server file, read through a temporary copy named
  // after `tag` in the data folder; lines joined by CR LF, leading empty
  // lines dropped. Empty when the file is missing. A failure of the copy or
  // the read prints the bare error number and gives the empty text. A file
  // longer than `max_bytes` is damaged: one line naming it goes to standard
  // error, and the text is empty.
  std::string readWholeFile(const std::string& path, const std::string& tag,
                            std::uint64_t max_bytes = kServerTableMaxBytes);

  // readWholeFile, read at most once per run for each version of the file:
  // the text is kept with the file's identity (size and time of change), so
  // a file that changed since is read afresh. The same pointer comes back
  // for the same version, so callers may keep what they parsed from it.
  // Failed reads are not kept (each one prints its number, as before).
  std::shared_ptr<const std::string> readServerFile(const std::string& path, const std::string& tag,
                                                    std::uint64_t max_bytes = kServerTableMaxBytes);

  Platform& platform() { return platform_; }

 private:
  // False, after one line on standard error naming `path`, when the file
  // `measured` is longer than max_bytes.
  bool withinBound(const std::string& path, const std::string& measured, std::uint64_t max_bytes);
  bool withinBound(const std::string& path, std::uint64_t bytes, std::uint64_t max_bytes);
  // Reads `path` itself into *bytes when its `copy` could not be made or
  // read; false when that fails too.
  bool readWithoutCopy(const std::string& path, const std::string& copy, std::uint64_t max_bytes,
                       std::string* bytes);

  Platform& platform_;
  Output& out_;
  std::string data_folder_;

  struct ReadText {
    FileIdentity identity;
    std::shared_ptr<const std::string> text;
  };
  std::map<std::string, ReadText> read_texts_;  // by path
};

// The tag with every character other than letters, digits, '_', '-' and '.'
// replaced by '_', so a copy's name can never leave the data folder.
std::string safeTag(const std::string& tag);

}  // namespace quarvel
