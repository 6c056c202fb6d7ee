#include "config/config_check.h"

#include <map>

#include "config/known_keys.h"
#include "config/numbers.h"
#include "config/text.h"

namespace quarvel {
namespace {

// Keys whose absence or emptiness silently changes who is punished or makes
// the admin login impossible, with what happens then.
struct NeededKey {
  const char* name;
  const char* when_missing;
};

const NeededKey kNeededKeys[] = {
    {"ioFTPD", "no account can be read, so nobody is found"},
    {"UserTABLE", "no account can be read, so nobody is found"},
    {"UserFOLDER", "no account can be read, so nobody is found"},
    {"GroupTABLE", "no account has a group"},
    {"FTP_HOST", "the admin login cannot work"},
    {"FTP_PORT", "the admin login cannot work"},
    {"FTP_USER", "the admin login cannot work"},
    {"FTP_PASS", "the admin login cannot work"},
    {"TRIAL_UPLOAD", "it reads as 0 and every trial user passes at the next checkup"},
    {"TRIAL_DAYS", "it reads as 0 and new trials start with no days"},
    {"TRIAL_DISABLE_FLAG",
     "every account with any flags counts as disabled and is exempt from the quota"},
    {"QUOTA_DISABLE_FLAG",
     "every account with any flags counts as disabled and is exempt from the quota"},
};

bool isNumberKind(KeyKind kind) {
  return kind == KeyKind::kNumber || kind == KeyKind::kWholeNumber;
}

std::string trimBlanksAndTabs(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool hasTabAtEnds(const std::string& text) {
  return !text.empty() && (text.front() == '\t' || text.back() == '\t');
}

}  // namespace

bool takesNoRemark(const std::string& name) {
  static const char* const kKeys[] = {
      "QUOTA_DISABLE_FLAG", "TRIAL_DISABLE_FLAG", "EXEMPT_FLAGS", "Quota_Users",
      "Quota_Groups",       "FTP_USER",           "WINDIR",       "ioFTPD",
      "UserTABLE",          "UserFOLDER",         "GroupTABLE"};
  for (const char* key : kKeys) {
    if (name == key) return true;
  }
  return false;
}

std::size_t remarkStart(const std::string& value) {
  for (std::size_t i = 1; i < value.size(); ++i) {
    if ((value[i] == '#' || value[i] == ';') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
      return i;
    }
  }
  return std::string::npos;
}

namespace {

// The bytes a Windows editor may put before the first line (UTF-8 BOM).
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string didYouMean(const std::string& name) {
  const KnownKey* near = nearestKnownKey(name);
  return near != nullptr ? "; did you mean " + std::string(near->name) + "?" : std::string();
}

void checkValue(const ConfigLine& line, const KnownKey& key, std::vector<ConfigFinding>* found) {
  const std::string name = key.name;
  if (line.value_cut) {
    found->push_back(
        {line.number, name + ": the text after the second \"=\" is lost; the value read is \"" +
                          line.value + "\""});
  }
  if (line.value.empty()) return;
  if (isNumberKind(key.kind)) {
    std::size_t length = leadingNumberLength(line.value);
    if (length == 0) {
      found->push_back({line.number, name + "=" + line.value + " is not a number; it reads as 0"});
    } else if (!trimBlanksAndTabs(line.value.substr(length)).empty()) {
      found->push_back({line.number, name + "=" + line.value + " is not a number; it reads as " +
                                         plainForm(readNumber(line.value))});
    }
  } else if (takesNoRemark(name) && remarkStart(line.value) != std::string::npos) {
    std::string remark = trimBlanksAndTabs(line.value.substr(remarkStart(line.value)));
    found->push_back({line.number, name + ": \"" + remark +
                                       "\" is not a remark here: a value has no remarks after it, "
                                       "so it reads as \"" +
                                       line.value + "\""});
  } else if (hasTabAtEnds(line.value)) {
    found->push_back({line.number, name + ": the value has a tab at its start or end, "
                                          "which stays part of the value"});
  }
}

}  // namespace

std::vector<ConfigFinding> checkConfigLines(const std::vector<ConfigLine>& lines) {
  std::vector<ConfigFinding> found;
  std::map<std::string, const ConfigLine*> first;  // lower-case key -> its line
  for (const ConfigLine& line : lines) {
    std::string bare = trimBlanksAndTabs(line.text);
    if (bare.empty() || bare[0] == '#' || bare[0] == ';') continue;  // a remark
    if (!line.has_equals) {
      // Free text is a remark too, unless it starts with a key.
      std::string start = trimBlanksAndTabs(bare.substr(0, bare.find_first_of(" \t")));
      if (findKnownKey(start) != nullptr) {
        found.push_back({line.number, start + " has no \"=\", so the line sets nothing"});
      }
      continue;
    }
    std::string name = trimBlanksAndTabs(line.key);
    if (name.empty()) {
      found.push_back({line.number, "a value without a key"});
      continue;
    }
    if (name.compare(0, 3, kByteOrderMark) == 0) {
      std::string bare_name = name.substr(3);
      found.push_back({line.number, bare_name + " is preceded by a BOM (the bytes EF BB BF that "
                                                "some editors write first), so the key is not "
                                                "read; save the file without BOM (ANSI)"});
      continue;
    }
    const KnownKey* key = findKnownKey(name);
    if (name != line.key) {
      // Only blanks around a key are ignored; a tab makes it another key.
      found.push_back({line.number, name + " has a tab beside its name, so the line is never read" +
                                        (key != nullptr ? std::string() : didYouMean(name))});
      continue;
    }
    if (key == nullptr) {
      found.push_back({line.number, name + " is not a key Quarvel reads" + didYouMean(name)});
      continue;
    }
    auto seen = first.find(toLower(name));
    if (seen != first.end()) {
      found.push_back({line.number, name + " is set again; line " +
                                        std::to_string(seen->second->number) +
                                        " is read and this line is ignored"});
      continue;
    }
    first[toLower(name)] = &line;
    checkValue(line, *key, &found);
  }
  auto valueOf = [&](const std::string& key) -> const ConfigLine* {
    auto it = first.find(toLower(key));
    return it == first.end() ? nullptr : it->second;
  };
  for (const NeededKey& needed : kNeededKeys) {
    const ConfigLine* line = valueOf(needed.name);
    if (line == nullptr) {
      found.push_back({0, std::string(needed.name) + " is not set: " + needed.when_missing});
    } else if (line->value.empty()) {
      found.push_back(
          {line->number, std::string(needed.name) + " is empty: " + needed.when_missing});
    }
  }
  const NeededKey positive[] = {
      {"TRIAL_UPLOAD", "every trial user passes at the next checkup"},
      {"TRIAL_DAYS", "every new trial runs out at the next newday"},
  };
  for (const NeededKey& key : positive) {
    const ConfigLine* line = valueOf(key.name);
    if (line != nullptr && !line->value.empty() && readWholeNumber(line->value) <= 0) {
      found.push_back(
          {line->number, std::string(key.name) + " is not above 0: " + key.when_missing});
    }
  }
  // A target with a fraction is compared as set, but the IRC reports show
  // it rounded to whole megabytes.
  for (const char* target : {"TRIAL_UPLOAD", "QUOTA_UPLOAD"}) {
    const ConfigLine* line = valueOf(target);
    if (line == nullptr || line->value.empty()) continue;
    double value = readNumber(line->value);
    if (value > 0 && value != static_cast<double>(readWholeNumber(line->value))) {
      found.push_back({line->number,
                       std::string(target) + "=" + line->value +
                           " is not a whole number: a user passes at " + plainForm(value) +
                           " MB or more, and the IRC reports show the target as " +
                           std::to_string(readWholeNumber(line->value)) + " MB",
                       true});
    }
  }
  const ConfigLine* quota_type = valueOf("QUOTA_TYPE");
  if (quota_type != nullptr && readNumber(quota_type->value) == 1) {
    const ConfigLine* upload = valueOf("QUOTA_UPLOAD");
    if (upload == nullptr) {
      found.push_back({0, "QUOTA_UPLOAD is not set: it reads as 0 and every quota member passes"});
    } else if (readNumber(upload->value) <= 0) {
      found.push_back({upload->number, "QUOTA_UPLOAD is not above 0: every quota member passes"});
    }
  }
  return found;
}

std::string findingText(const ConfigFinding& finding) {
  return finding.line > 0 ? "line " + std::to_string(finding.line) + ": " + finding.text
                          : finding.text;
}

}  // namespace quarvel
