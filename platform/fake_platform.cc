#include "platform/fake_platform.h"

#include <chrono>
#include <cstring>

namespace quarvel {
namespace {

std::string parentOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class FakeReader : public BinaryFile {
 public:
  explicit FakeReader(std::string data) : data_(std::move(data)) {}
  long read(char* buffer, std::size_t size) override {
    std::size_t n = std::min(size, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
  }
  bool write(const char*, std::size_t) override { return false; }

 private:
  std::string data_;
  std::size_t pos_ = 0;
};

class FakeWriter : public BinaryFile {
 public:
  explicit FakeWriter(std::string* target) : target_(target) {}
  long read(char*, std::size_t) override { return -1; }
  bool write(const char* data, std::size_t size) override {
    target_->append(data, size);
    return true;
  }

 private:
  std::string* target_;
};

class FakeLock : public InstanceLock {};

}  // namespace

FakePlatform::FakePlatform() {
  addFolder(current_folder);
  addFolder(program_folder);
}

std::string FakePlatform::normalise(const std::string& path) {
  std::string p;
  for (char c : path) {
    char d = c == '\\' ? '/' : c;
    if (d == '/' && !p.empty() && p.back() == '/') continue;
    p += d;
  }
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

void FakePlatform::addFolder(const std::string& path) {
  std::string p = normalise(path);
  while (!p.empty()) {
    folders_.insert(p);
    p = parentOf(p);
  }
}

void FakePlatform::addFile(const std::string& path, const std::string& contents) {
  std::string p = normalise(path);
  addFolder(parentOf(p));
  files_[p] = contents;
  changed(p);
}

bool FakePlatform::hasFile(const std::string& path) const {
  return files_.count(normalise(path)) != 0;
}

std::string FakePlatform::file(const std::string& path) const {
  auto it = files_.find(normalise(path));
  return it == files_.end() ? std::string() : it->second;
}

std::vector<std::string> FakePlatform::filesIn(const std::string& folder) const {
  std::vector<std::string> names;
  std::string f = normalise(folder);
  for (const auto& entry : files_) {
    if (parentOf(entry.first) == f) names.push_back(entry.first.substr(f.size() + 1));
  }
  return names;
}

std::string FakePlatform::environment(const std::string& name) {
  auto it = variables.find(name);
  return it == variables.end() ? std::string() : it->second;
}

void FakePlatform::setEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    variables.erase(name);
  } else {
    variables[name] = value;
  }
}

std::int64_t FakePlatform::monotonicMs() {
  if (clock_set_) return clock_ms_;
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count() + clock_offset_ms;
}

std::unique_ptr<InstanceLock> FakePlatform::acquireInstanceLock() {
  if (refuse_lock) {
    writeErrorLine("Quarvel: cannot take the instance lock (refused); the run did nothing");
    return nullptr;
  }
  ++lock_count;
  return std::make_unique<FakeLock>();
}

void FakePlatform::writeOutput(const std::string& bytes) {
  output += bytes;
  writes.push_back(bytes);
}

bool FakePlatform::folderExists(const std::string& path) const {
  return folders_.count(normalise(path)) != 0;
}

FileError FakePlatform::openError(const std::string& path) const {
  std::string p = normalise(path);
  if (locked_.count(p) != 0) return FileError::kAccessDenied;
  if (files_.count(p) != 0) return FileError::kNone;
  if (folders_.count(p) != 0) return FileError::kAccessDenied;
  return folderExists(parentOf(p)) ? FileError::kNotFound : FileError::kPathNotFound;
}

FileError FakePlatform::probeFile(const std::string& path) { return openError(path); }

FileError FakePlatform::readFile(const std::string& path, std::string* contents) {
  FileError error = openError(path);
  if (error == FileError::kNone) *contents = files_[normalise(path)];
  return error;
}

bool FakePlatform::fileSize(const std::string& path, std::uint64_t* size) {
  if (openError(path) != FileError::kNone) return false;
  *size = files_[normalise(path)].size();
  return true;
}

bool FakePlatform::fileIdentity(const std::string& path, FileIdentity* identity) {
  std::string p = normalise(path);
  if (openError(path) != FileError::kNone || files_.count(p) == 0) return false;
  identity->size = files_[p].size();
  identity->modified = versions_[p];
  return true;
}

FileError FakePlatform::copyFile(const std::string& from, const std::string& to) {
  FileError error = openError(from);
  if (error != FileError::kNone) return error;
  std::string target = normalise(to);
  if (!folderExists(parentOf(target))) return FileError::kPathNotFound;
  if (locked_.count(target) != 0) return FileError::kAccessDenied;
  ++copies[normalise(from)];
  files_[target] = files_[normalise(from)];
  changed(target);
  return FileError::kNone;
}

FileError FakePlatform::removeFile(const std::string& path) {
  FileError error = openError(path);
  if (error != FileError::kNone) return error;
  files_.erase(normalise(path));
  return FileError::kNone;
}

FileError FakePlatform::createFolder(const std::string& path) {
  std::string p = normalise(path);
  if (files_.count(p) != 0) return FileError::kAccessDenied;
  if (!folderExists(parentOf(p))) return FileError::kPathNotFound;
  folders_.insert(p);
  return FileError::kNone;
}

FileError FakePlatform::countWrite() {
  if (fail_replaces_) return FileError::kOther;
  ++replace_count;
  if (fail_replaces_from != 0 && replace_count >= fail_replaces_from) return FileError::kOther;
  return FileError::kNone;
}

FileError FakePlatform::writeNewFile(const std::string& path, const std::string& contents,
                                     const std::string&) {
  std::string p = normalise(path);
  if (!folderExists(parentOf(p))) return FileError::kPathNotFound;
  if (FileError refused = countWrite(); refused != FileError::kNone) return refused;
  if (locked_.count(p) != 0 || folders_.count(p) != 0) return FileError::kAccessDenied;
  files_[p] = contents;
  changed(p);
  disk_order.push_back("new " + p);
  return FileError::kNone;
}

FileError FakePlatform::renameFile(const std::string& from, const std::string& to) {
  std::string source = normalise(from);
  std::string target = normalise(to);
  if (files_.count(source) == 0) return FileError::kNotFound;
  if (FileError refused = countWrite(); refused != FileError::kNone) return refused;
  if (locked_.count(target) != 0 || folders_.count(target) != 0) return FileError::kAccessDenied;
  files_[target] = std::move(files_[source]);
  files_.erase(source);
  changed(target);
  disk_order.push_back("rename " + source + " " + target);
  return FileError::kNone;
}

FileError FakePlatform::syncFolder(const std::string& folder) {
  return folderExists(normalise(folder)) ? FileError::kNone : FileError::kPathNotFound;
}

FileError FakePlatform::replaceFile(const std::string& path, const std::string& contents) {
  std::string p = normalise(path);
  if (!folderExists(parentOf(p))) return FileError::kPathNotFound;
  if (FileError refused = countWrite(); refused != FileError::kNone) return refused;
  if (locked_.count(p) != 0 || folders_.count(p) != 0) return FileError::kAccessDenied;
  files_[p] = contents;
  changed(p);
  disk_order.push_back("replace " + p);
  return FileError::kNone;
}

FileError FakePlatform::appendFile(const std::string& path, const std::string& bytes) {
  std::string p = normalise(path);
  if (!folderExists(parentOf(p))) return FileError::kPathNotFound;
  if (fail_appends_) return FileError::kOther;
  if (locked_.count(p) != 0 || folders_.count(p) != 0) return FileError::kAccessDenied;
  files_[p] += bytes;
  return FileError::kNone;
}

FileError FakePlatform::syncFile(const std::string& path) {
  std::string p = normalise(path);
  if (fail_appends_) return FileError::kOther;
  if (files_.count(p) == 0) return FileError::kNotFound;
  disk_order.push_back("sync " + p);
  return FileError::kNone;
}

bool FakePlatform::anyEntryMatches(const std::string& prefix) {
  std::string raw = prefix;
  for (char& c : raw) {
    if (c == '\\') c = '/';
  }
  bool inside = !raw.empty() && raw.back() == '/';
  std::string p = normalise(raw);
  if (inside) {
    // Like Windows, a folder always holds "." and "..".
    return folders_.count(p) != 0;
  }
  std::string parent = parentOf(p);
  std::string start = p.substr(parent.empty() ? 0 : parent.size() + 1);
  auto matches = [&](const std::string& entry) {
    return parentOf(entry) == parent &&
           entry.compare(parent.empty() ? 0 : parent.size() + 1, start.size(), start) == 0;
  };
  for (const auto& f : files_) {
    if (matches(f.first)) return true;
  }
  for (const auto& f : folders_) {
    if (matches(f)) return true;
  }
  return false;
}

std::unique_ptr<BinaryFile> FakePlatform::openForReading(const std::string& path,
                                                         FileError* error) {
  *error = openError(path);
  if (*error != FileError::kNone) return nullptr;
  return std::make_unique<FakeReader>(files_[normalise(path)]);
}

std::unique_ptr<BinaryFile> FakePlatform::createForWriting(const std::string& path,
                                                           FileError* error) {
  std::string p = normalise(path);
  if (!folderExists(parentOf(p))) {
    *error = FileError::kPathNotFound;
    return nullptr;
  }
  if (locked_.count(p) != 0) {
    *error = FileError::kAccessDenied;
    return nullptr;
  }
  files_[p].clear();
  changed(p);
  return std::make_unique<FakeWriter>(&files_[p]);
}

std::unique_ptr<TcpConnection> FakePlatform::connectTcp(const std::string&, int, int,
                                                        int* error_number) {
  *error_number = 10061;  // connection refused: the fake has no network
  return nullptr;
}

}  // namespace quarvel
