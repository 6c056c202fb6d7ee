// The configuration file quarvel.conf in the data folder: key=value lines,
// read once per run into a cache and looked up by key.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/config_lines.h"
#include "config/files.h"
#include "config/output.h"

namespace quarvel {

class Config {
 public:
  Config(Files& files, Output& out) : files_(files), out_(out) {}

  // The trimmed value of the first line whose trimmed key equals `key`
  // without regard to case; empty when none. Loads the file while the cache
  // is empty; a failed load prints "<number> - LOADCFG".
  std::string configValue(const std::string& key);

  // Where the file is looked for: the data folder's "\quarvel.conf".
  std::string path() const;

  // The file's lines with their numbers, read afresh and apart from the
  // cache, printing nothing: for the operator's check, which reports a
  // missing file itself.
  FileError readLines(std::vector<ConfigLine>* lines);

  // As configValue, but nothing when no line has the key, so that a key
  // set empty ("KEY=", or "KEY" alone) can mean something other than a
  // missing one. A file that cannot be loaded gives nothing without a line
  // of its own: the configValue lookups of the run report it.
  std::optional<std::string> configEntry(const std::string& key);

 private:
  void load(bool report_failure);
  std::optional<std::string> lookup(const std::string& key, bool report_failure);
  std::optional<std::string> scan(const std::string& key) const;

  Files& files_;
  Output& out_;
  std::string cache_;
  std::unordered_map<std::string, std::optional<std::string>> answers_;  // by key as asked
};

}  // namespace quarvel
