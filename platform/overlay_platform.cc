#include "platform/overlay_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace quarvel {
namespace {

// Reads a snapshot of a file's bytes block by block.
class MemoryReader : public BinaryFile {
 public:
  explicit MemoryReader(std::string bytes) : bytes_(std::move(bytes)) {}
  long read(char* buffer, std::size_t size) override {
    std::size_t n = std::min(size, bytes_.size() - position_);
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<long>(n);
  }
  bool write(const char*, std::size_t) override { return false; }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

}  // namespace

// Appends to the file's bytes in memory as they come.
class OverlayPlatform::MemoryWriter : public BinaryFile {
 public:
  MemoryWriter(OverlayPlatform& overlay, std::string path)
      : overlay_(overlay), path_(std::move(path)) {}
  long read(char*, std::size_t) override { return -1; }
  bool write(const char* data, std::size_t size) override {
    Change& entry = overlay_.changes_[path_];
    entry.contents.append(data, size);
    entry.version = ++overlay_.last_version_;
    return true;
  }

 private:
  OverlayPlatform& overlay_;
  std::string path_;
};

const OverlayPlatform::Change* OverlayPlatform::find(const std::string& path) const {
  auto it = changes_.find(path);
  return it == changes_.end() ? nullptr : &it->second;
}

void OverlayPlatform::change(const std::string& path, bool removed, std::string contents) {
  Change& entry = changes_[path];
  entry.removed = removed;
  entry.contents = std::move(contents);
  entry.version = ++last_version_;
}

FileError OverlayPlatform::writable(const std::string& path) {
  const Change* changed = find(path);
  if (changed != nullptr && !changed->removed) return FileError::kNone;
  FileError below = below_.probeFile(path);
  return below == FileError::kNotFound ? FileError::kNone : below;
}

FileError OverlayPlatform::probeFile(const std::string& path) {
  const Change* changed = find(path);
  if (changed == nullptr) return below_.probeFile(path);
  return changed->removed ? FileError::kNotFound : FileError::kNone;
}

FileError OverlayPlatform::readFile(const std::string& path, std::string* contents) {
  const Change* changed = find(path);
  if (changed == nullptr) return below_.readFile(path, contents);
  if (changed->removed) return FileError::kNotFound;
  *contents = changed->contents;
  return FileError::kNone;
}

bool OverlayPlatform::fileSize(const std::string& path, std::uint64_t* size) {
  const Change* changed = find(path);
  if (changed == nullptr) return below_.fileSize(path, size);
  if (changed->removed) return false;
  *size = changed->contents.size();
  return true;
}

bool OverlayPlatform::fileIdentity(const std::string& path, FileIdentity* identity) {
  const Change* changed = find(path);
  if (changed == nullptr) return below_.fileIdentity(path, identity);
  if (changed->removed) return false;
  identity->size = changed->contents.size();
  identity->modified = -changed->version;
  return true;
}

FileError OverlayPlatform::copyFile(const std::string& from, const std::string& to) {
  std::string bytes;
  FileError error = readFile(from, &bytes);
  if (error == FileError::kNone) error = writable(to);
  if (error == FileError::kNone) change(to, false, std::move(bytes));
  return error;
}

FileError OverlayPlatform::removeFile(const std::string& path) {
  FileError error = probeFile(path);
  if (error == FileError::kNone) change(path, true, std::string());
  return error;
}

FileError OverlayPlatform::createFolder(const std::string& path) {
  return below_.anyEntryMatches(path + "\\") || below_.anyEntryMatches(path)
             ? FileError::kNone
             : FileError::kPathNotFound;
}

FileError OverlayPlatform::replaceFile(const std::string& path, const std::string& contents) {
  FileError error = writable(path);
  if (error == FileError::kNone) change(path, false, contents);
  return error;
}

FileError OverlayPlatform::renameFile(const std::string& from, const std::string& to) {
  std::string bytes;
  FileError error = readFile(from, &bytes);
  if (error == FileError::kNone) error = writable(to);
  if (error != FileError::kNone) return error;
  change(to, false, std::move(bytes));
  change(from, true, std::string());
  return FileError::kNone;
}

FileError OverlayPlatform::appendFile(const std::string& path, const std::string& bytes) {
  FileError error = writable(path);
  if (error != FileError::kNone) return error;
  std::string contents;
  if (probeFile(path) == FileError::kNone) error = readFile(path, &contents);
  if (error == FileError::kNone) change(path, false, contents + bytes);
  return error;
}

bool OverlayPlatform::anyEntryMatches(const std::string& prefix) {
  for (const auto& entry : changes_) {
    if (!entry.second.removed && entry.first.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return below_.anyEntryMatches(prefix);
}

std::unique_ptr<BinaryFile> OverlayPlatform::openForReading(const std::string& path,
                                                            FileError* error) {
  const Change* changed = find(path);
  if (changed == nullptr) return below_.openForReading(path, error);
  if (changed->removed) {
    *error = FileError::kNotFound;
    return nullptr;
  }
  return std::make_unique<MemoryReader>(changed->contents);
}

std::unique_ptr<BinaryFile> OverlayPlatform::createForWriting(const std::string& path,
                                                              FileError* error) {
  *error = writable(path);
  if (*error != FileError::kNone) return nullptr;
  change(path, false, std::string());
  return std::make_unique<MemoryWriter>(*this, path);
}

}  // namespace quarvel
