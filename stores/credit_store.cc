#include "stores/credit_store.h"

#include "config/numbers.h"
#include "config/text.h"
#include "server/contract.h"

namespace quarvel {

std::string creditKey(const std::string& path) {
  return replaceAll(replaceAll(path, "%", "%25"), "=", "%3D");
}

std::string pathOfCreditKey(const std::string& key) {
  return replaceAll(replaceAll(key, "%3D", "="), "%25", "%");
}

CreditStore::CreditStore(Files& files)
    : file_(files, contract::kCreditStoreFile, StoreRules{false, {}}) {}

std::vector<FileCredit> CreditStore::creditsOf(const std::string& path) {
  std::vector<FileCredit> credits;
  std::vector<std::string> fields = splitAt(file_.read(creditKey(path)), "::");
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    if (trimBlanks(fields[i]).empty()) continue;
    credits.push_back(FileCredit{trimBlanks(fields[i]), readNumber(fields[i + 1])});
  }
  return credits;
}

void CreditStore::setCredits(const std::string& path, const std::vector<FileCredit>& credits) {
  std::string value;
  for (const FileCredit& credit : credits) {
    if (!value.empty()) value += "::";
    value += credit.user + "::" + plainForm(credit.mb);
  }
  file_.write(creditKey(path) + "=" + value);
}

void CreditStore::sweep(Files& files, std::size_t count) {
  std::vector<std::string> lines = file_.readAllLines();
  for (std::size_t i = 0; i < lines.size() && i < count; ++i) {
    std::size_t equals = lines[i].find('=');
    std::string key = trimBlanks(lines[i].substr(0, equals));
    // A line without a value is no entry: it goes.
    bool keep = equals != std::string::npos && files.fileExists(pathOfCreditKey(key));
    file_.write(key + "=" + (keep ? lines[i].substr(equals + 1) : std::string()));
  }
}

}  // namespace quarvel
