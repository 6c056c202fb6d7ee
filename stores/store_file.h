// A store file: key=value lines with one cache per process and whole-file
// rewrites. The trial store and the quota store are two instances that
// differ only in their file name and two reading rules (StoreRules).
#pragma once

#include <string>
#include <vector>

#include "config/files.h"

namespace quarvel {

struct StoreRules {
  // Double-quote characters removed from a value read back.
  bool strip_quotes_from_values = true;
  // Keys containing any of these (lower case, anywhere) are not listed.
  std::vector<std::string> unlisted_key_parts;
};

class StoreFile {
 public:
  StoreFile(Files& files, std::string file_name, StoreRules rules)
      : files_(files), file_name_(std::move(file_name)), rules_(std::move(rules)) {}

  // The value of the first line whose key, trimmed, equals `key` trimmed,
  // without regard to case; "" when the key is empty, the file is missing or
  // no line matches. The value is the text between the first and second
  // "=", trimmed (and with double quotes removed when the rules say so).
  std::string read(const std::string& key);

  // key=value: replaces the key's line or adds it at the end; key= deletes
  // it. Every write rewrites the whole file (atomically) with CR LF ends.
  void write(const std::string& entry);

  // The non-blank lines of the cache, untrimmed, in file order; empty when
  // the file is missing.
  std::vector<std::string> readAllLines();

  // The keys of all non-blank lines of the file (read from the file itself),
  // in order, less the unlisted ones; one empty name when there are none.
  std::vector<std::string> listKeys();

  // The file's lines that are not blank, read from the file itself; empty
  // when it is missing.
  std::vector<std::string> fileLines();

  // Deletes the file (the cache stays; the next write finds no file).
  void removeFile();

  bool exists();
  std::string path() const;

 private:
  bool loadCache();  // false when the file could not be read

  Files& files_;
  std::string file_name_;
  StoreRules rules_;
  std::string cache_;  // lines separated by CR LF, as last written or loaded
};

}  // namespace quarvel
