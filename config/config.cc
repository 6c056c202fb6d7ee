#include "config/config.h"

#include "config/file_errors.h"
#include "config/text.h"
#include "server/contract.h"

namespace quarvel {

// The whole file is read at once; any of CR LF, CR and LF ends a line (a
// file saved by a Linux editor works as it is). Double quotes vanish, and
// empty lines before the first text are dropped.
void Config::load(bool report_failure) {
  std::string bytes;
  FileError error = files_.platform().readFile(files_.dataPath(contract::kConfigFile), &bytes);
  if (error != FileError::kNone) {
    if (report_failure) out_.printLine(std::to_string(runtimeErrorNumber(error)) + " - LOADCFG");
    return;
  }
  for (const std::string& raw : splitTextLines(bytes)) {
    std::string line = replaceAll(raw, "\"", "");
    if (cache_.empty()) {
      cache_ = line;
    } else {
      cache_ += "\r\n";
      cache_ += line;
    }
  }
}

std::string Config::configValue(const std::string& key) {
  return lookup(key, true).value_or(std::string());
}

std::optional<std::string> Config::configEntry(const std::string& key) {
  return lookup(key, false);
}

std::optional<std::string> Config::lookup(const std::string& key, bool report_failure) {
  if (cache_.empty()) load(report_failure);
  if (cache_.empty()) return scan(key);
  // A daily run asks for the same few settings at every account.
  auto known = answers_.find(key);
  if (known != answers_.end()) return known->second;
  std::optional<std::string> answer = scan(key);
  answers_.emplace(key, answer);
  return answer;
}

std::optional<std::string> Config::scan(const std::string& key) const {
  // The lines between CR LF pairs, looked at in place: the value of the
  // first whose name (before the first "=", trimmed) is the key, up to a
  // second "=" if there is one, trimmed.
  const std::string_view all(cache_);
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = all.find("\r\n", from);
    const std::string_view line =
        all.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
    const std::size_t equals = line.find('=');
    if (equalsIgnoringCase(blanksTrimmed(line.substr(0, equals)), key)) {
      if (equals == std::string_view::npos) return std::string();
      const std::string_view value = line.substr(equals + 1);
      return std::string(blanksTrimmed(value.substr(0, value.find('='))));
    }
    if (end == std::string_view::npos) return std::nullopt;
    from = end + 2;
  }
}

std::string Config::path() const { return files_.dataPath(contract::kConfigFile); }

FileError Config::readLines(std::vector<ConfigLine>* lines) {
  std::string bytes;
  FileError error = files_.platform().readFile(path(), &bytes);
  *lines = error == FileError::kNone ? parseConfigLines(bytes) : std::vector<ConfigLine>();
  return error;
}

}  // namespace quarvel
