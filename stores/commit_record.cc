#include "stores/commit_record.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace quarvel {
namespace {

constexpr char kFirstLine[] = "quarvel commit";

std::string checksum(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, hash);
  return text;
}

std::string folderOf(const std::string& path) {
  std::size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string(".") : path.substr(0, at == 0 ? 1 : at);
}

// The folders whose entries the commit changes, each once.
std::vector<std::string> foldersOf(const std::vector<std::string>& paths) {
  std::vector<std::string> folders;
  for (const std::string& path : paths) {
    std::string folder = folderOf(path);
    bool known = false;
    for (const std::string& f : folders) known = known || f == folder;
    if (!known) folders.push_back(folder);
  }
  return folders;
}

std::vector<std::string> fieldsOf(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (;;) {
    std::size_t tab = line.find('\t', from);
    fields.emplace_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
    if (tab == std::string_view::npos) return fields;
    from = tab + 1;
  }
}

// A path that a record line can hold whole.
bool recordable(const std::string& path) {
  return !path.empty() && path.find_first_of("\t\r\n") == std::string::npos;
}

struct Entry {
  bool remove = false;
  std::string target;
  std::string temporary;
  std::string length;
  std::string sum;
};

// The entries of a record; false when it is not complete (see the header).
bool parseRecord(const std::string& text, std::vector<Entry>* entries) {
  std::size_t from = 0;
  bool first = true;
  while (from < text.size()) {
    std::size_t end = text.find("\r\n", from);
    if (end == std::string::npos) return false;
    std::vector<std::string> fields = fieldsOf(std::string_view(text).substr(from, end - from));
    if (first) {
      if (fields.size() != 1 || fields[0] != kFirstLine) return false;
      first = false;
    } else if (fields[0] == "replace" && fields.size() == 5) {
      entries->push_back({false, fields[1], fields[2], fields[3], fields[4]});
    } else if (fields[0] == "remove" && fields.size() == 2) {
      entries->push_back({true, fields[1], "", "", ""});
    } else if (fields[0] == "end" && fields.size() == 3) {
      return end + 2 == text.size() && fields[1] == std::to_string(entries->size()) &&
             fields[2] == checksum(std::string_view(text).substr(0, from));
    } else {
      return false;
    }
    from = end + 2;
  }
  return false;
}

FileError removeIfThere(Platform& platform, const std::string& path) {
  FileError error = platform.removeFile(path);
  return error == FileError::kNotFound || error == FileError::kPathNotFound ? FileError::kNone
                                                                            : error;
}

CommitFailure syncFolders(Platform& platform, const std::vector<std::string>& paths) {
  for (const std::string& folder : foldersOf(paths)) {
    FileError error = platform.syncFolder(folder);
    if (error != FileError::kNone) return {error, folder};
  }
  return {};
}

}  // namespace

std::string temporaryPathOf(const std::string& target) { return target + ".new"; }

std::string commitRecordText(const std::vector<PendingWrite>& writes) {
  std::string text = std::string(kFirstLine) + "\r\n";
  for (const PendingWrite& write : writes) {
    if (write.remove) {
      text += "remove\t" + write.path + "\r\n";
    } else {
      text += "replace\t" + write.path + "\t" + temporaryPathOf(write.path) + "\t" +
              std::to_string(write.bytes.size()) + "\t" + checksum(write.bytes) + "\r\n";
    }
  }
  return text + "end\t" + std::to_string(writes.size()) + "\t" + checksum(text) + "\r\n";
}

CommitFailure commitTogether(Platform& platform, const std::string& record_path,
                             const std::vector<PendingWrite>& writes) {
  if (writes.empty()) return {};
  if (writes.size() == 1) {
    const PendingWrite& only = writes.front();
    FileError error = only.remove ? removeIfThere(platform, only.path)
                                  : platform.replaceFile(only.path, only.bytes);
    return {error, only.path};
  }
  for (const PendingWrite& write : writes) {
    if (!recordable(write.path)) return {FileError::kOther, write.path};
  }
  // 1. The new texts, each on disk.
  std::vector<std::string> temporaries;
  auto dropTemporaries = [&] {
    for (const std::string& path : temporaries) platform.removeFile(path);
  };
  for (const PendingWrite& write : writes) {
    if (write.remove) continue;
    std::string temporary = temporaryPathOf(write.path);
    FileError error = platform.writeNewFile(temporary, write.bytes, write.path);
    if (error != FileError::kNone) {
      dropTemporaries();
      return {error, write.path};
    }
    temporaries.push_back(temporary);
  }
  // 2. The record. Its atomic replacement syncs the data folder, and with
  // it the temporary files' entries there; any other folder is synced here.
  std::vector<std::string> elsewhere;
  for (const std::string& path : temporaries) {
    if (folderOf(path) != folderOf(record_path)) elsewhere.push_back(path);
  }
  CommitFailure failure = syncFolders(platform, elsewhere);
  if (!failure.failed()) {
    failure = {platform.replaceFile(record_path, commitRecordText(writes)), record_path};
  }
  if (failure.failed()) {
    dropTemporaries();
    return failure;
  }
  // 3. From here on the commit holds: what is not done now, the next run does.
  std::vector<std::string> targets;
  for (const PendingWrite& write : writes) {
    FileError error = write.remove ? removeIfThere(platform, write.path)
                                   : platform.renameFile(temporaryPathOf(write.path), write.path);
    if (error != FileError::kNone) return {error, write.path};
    targets.push_back(write.path);
  }
  failure = syncFolders(platform, targets);
  if (failure.failed()) return failure;
  // Its removal needs no wait for the disk: a record found again after a
  // power cut is carried out again, and changes nothing.
  platform.removeFile(record_path);
  return {};
}

Recovery finishInterruptedCommit(Platform& platform, const std::string& record_path,
                                 CommitFailure* failure) {
  std::string text;
  FileError error = platform.readFile(record_path, &text);
  if (error == FileError::kNotFound || error == FileError::kPathNotFound) return Recovery::kNone;
  if (error != FileError::kNone) {
    *failure = {error, record_path};
    return Recovery::kFailed;
  }
  std::vector<Entry> entries;
  if (!parseRecord(text, &entries)) {
    for (const Entry& entry : entries) {
      if (!entry.remove && entry.temporary == temporaryPathOf(entry.target)) {
        platform.removeFile(entry.temporary);
      }
    }
    error = removeIfThere(platform, record_path);
    if (error != FileError::kNone) {
      *failure = {error, record_path};
      return Recovery::kFailed;
    }
    return Recovery::kDiscarded;
  }
  std::vector<std::string> targets;
  for (const Entry& entry : entries) {
    targets.push_back(entry.target);
    if (entry.remove) {
      error = removeIfThere(platform, entry.target);
    } else {
      std::string bytes;
      error = platform.readFile(entry.temporary, &bytes);
      if (error == FileError::kNotFound) {
        error = FileError::kNone;  // renamed already
      } else if (error != FileError::kNone) {
        *failure = {error, entry.temporary};
        return Recovery::kFailed;
      } else if (std::to_string(bytes.size()) == entry.length && checksum(bytes) == entry.sum) {
        error = platform.renameFile(entry.temporary, entry.target);
      } else {
        platform.removeFile(entry.temporary);  // not this commit's
      }
    }
    if (error != FileError::kNone) {
      *failure = {error, entry.target};
      return Recovery::kFailed;
    }
  }
  *failure = syncFolders(platform, targets);
  if (failure->failed()) return Recovery::kFailed;
  error = removeIfThere(platform, record_path);
  if (error != FileError::kNone) {
    *failure = {error, record_path};
    return Recovery::kFailed;
  }
  return Recovery::kFinished;
}

}  // namespace quarvel
