#include "config/files.h"

#include <cctype>

#include "config/file_errors.h"
#include "config/numbers.h"

namespace quarvel {
namespace {

// Server files are read as the server writes them: a line ends at CR or
// CR LF (a LF alone stays inside the line), code 26 ends the text, and
// empty lines before the first text vanish.
// Whether the bytes are already in the collected form but for their last
// line end: no code 26, every CR followed by LF, no empty line first. The
// server writes its files so; they are then kept as read, not copied.
bool alreadyCollected(const std::string& bytes) {
  if (bytes.empty() || bytes[0] == '\r') return false;
  if (bytes.find('\x1a') != std::string::npos) return false;
  for (std::size_t at = bytes.find('\r'); at != std::string::npos; at = bytes.find('\r', at + 2)) {
    if (at + 1 >= bytes.size() || bytes[at + 1] != '\n') return false;
  }
  return true;
}

std::string collectLines(std::string bytes) {
  if (alreadyCollected(bytes)) {
    std::size_t size = bytes.size();
    if (size >= 2 && bytes.compare(size - 2, 2, "\r\n") == 0) bytes.resize(size - 2);
    return bytes;
  }
  std::string collected;
  collected.reserve(bytes.size());
  auto add = [&](std::size_t from, std::size_t count) {
    if (collected.empty()) {
      collected.assign(bytes, from, count);
    } else {
      collected += "\r\n";
      collected.append(bytes, from, count);
    }
  };
  std::size_t end = bytes.find('\x1a');
  if (end == std::string::npos) end = bytes.size();
  std::size_t from = 0;
  while (from < end) {
    std::size_t at = bytes.find('\r', from);
    if (at == std::string::npos || at > end) {
      add(from, end - from);  // the last line, without its line end
      break;
    }
    add(from, at - from);
    from = at + 1;
    if (from < bytes.size() && bytes[from] == '\n') ++from;
  }
  return collected;
}

}  // namespace

std::string safeTag(const std::string& tag) {
  std::string safe = tag;
  for (char& c : safe) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!(std::isalnum(u) && u < 128) && c != '_' && c != '-' && c != '.') c = '_';
  }
  return safe;
}

std::string Files::dataPath(const std::string& name) const { return data_folder_ + name; }

bool Files::fileExists(const std::string& path) {
  FileError error = platform_.probeFile(path);
  return error == FileError::kNone || error == FileError::kAccessDenied;
}

bool Files::folderExists(const std::string& path) { return platform_.anyEntryMatches(path); }

double Files::fileSizeMB(const std::string& path) {
  std::uint64_t bytes = 0;
  if (!platform_.fileSize(path, &bytes)) return 0;
  return roundOneDecimal(static_cast<double>(bytes) / 1024 / 1024);
}

bool Files::withinBound(const std::string& path, const std::string& measured,
                        std::uint64_t max_bytes) {
  std::uint64_t bytes = 0;
  return !platform_.fileSize(measured, &bytes) || withinBound(path, bytes, max_bytes);
}

bool Files::withinBound(const std::string& path, std::uint64_t bytes, std::uint64_t max_bytes) {
  if (bytes <= max_bytes) return true;
  platform_.writeErrorLine("Quarvel: " + path + " is longer than " + std::to_string(max_bytes) +
                           " bytes; read as damaged");
  return false;
}

std::string Files::readWholeFile(const std::string& path, const std::string& tag,
                                 std::uint64_t max_bytes) {
  return *readServerFile(path, tag, max_bytes);
}

// When the copy cannot be made in the data folder (a full disk), the file
// is read where it is: the run then goes on to name what it truly cannot
// do (the store it cannot write), rather than take the server's file for
// unreadable. A part of a copy is not left behind.
bool Files::readWithoutCopy(const std::string& path, const std::string& copy,
                            std::uint64_t max_bytes, std::string* bytes) {
  platform_.removeFile(copy);
  bytes->clear();
  if (platform_.readFile(path, bytes) != FileError::kNone) return false;
  return withinBound(path, bytes->size(), max_bytes);
}

std::shared_ptr<const std::string> Files::readServerFile(const std::string& path,
                                                         const std::string& tag,
                                                         std::uint64_t max_bytes) {
  static const std::shared_ptr<const std::string> kNothing = std::make_shared<std::string>();
  // A file whose identity can be taken is there; only one that cannot is
  // tried as fileExists does. The identity also gives the size.
  FileIdentity identity;
  bool identified = platform_.fileIdentity(path, &identity);
  if (!identified && !fileExists(path)) return kNothing;
  auto known = read_texts_.find(path);
  if (identified && known != read_texts_.end() && known->second.identity == identity) {
    return known->second.text;
  }
  if (identified ? !withinBound(path, identity.size, max_bytes)
                 : !withinBound(path, path, max_bytes)) {
    return kNothing;
  }
  std::string copy = dataPath("\\" + safeTag(tag) + ".tmp");
  FileError error = platform_.copyFile(path, copy);
  // The file may have grown while it was copied; the copy is what is read.
  FileIdentity copied;
  if (error == FileError::kNone && platform_.fileIdentity(copy, &copied) &&
      !withinBound(path, copied.size, max_bytes)) {
    platform_.removeFile(copy);
    return kNothing;
  }
  std::string bytes;
  if (error == FileError::kNone) error = platform_.readFile(copy, &bytes);
  if (error == FileError::kNone) error = platform_.removeFile(copy);
  if (error != FileError::kNone && readWithoutCopy(path, copy, max_bytes, &bytes)) {
    error = FileError::kNone;
  }
  if (error != FileError::kNone) {
    out_.printLine(std::to_string(runtimeErrorNumber(error)));
    return kNothing;
  }
  auto text = std::make_shared<const std::string>(collectLines(std::move(bytes)));
  if (identified) read_texts_[path] = ReadText{identity, text};
  return text;
}

}  // namespace quarvel
