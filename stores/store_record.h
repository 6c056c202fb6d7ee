// The record of a trial or quota member, uploaded::second::group, where the
// second field is the days left of a trial record or the status of a quota
// record. Every field is kept as the text it was read as, so rewriting a
// record with one field changed gives exactly the bytes it had otherwise.
#pragma once

#include <string>

namespace quarvel {

struct StoreRecord {
  std::string uploaded;
  std::string second;
  std::string group;

  // From a store value ("" when the user has no record): fields 1 to 3 of
  // the value split at "::"; missing fields are empty, further ones lost.
  static StoreRecord parse(const std::string& value);

  // key=uploaded::second::group
  std::string entry(const std::string& key) const;

  // The uploaded amount read as a number.
  double uploadedMB() const;

  // The record with `amount_mb` added to the uploaded amount, written in
  // plain form; the sum saturates at the largest amount a store can hold,
  // so a huge credit never wraps round to 0.
  StoreRecord credited(double amount_mb) const;
};

// The largest amount written to a store: finite, and read back as itself.
inline constexpr double kMaxAmountMB = 1.79769313486231e308;

// a + b, kept within +-kMaxAmountMB.
double saturatingSum(double a, double b);

// A quota member's status, as stored. Statuses are compared as text
// (" 1" is not passed); the listings and the trial pass read them as
// numbers.
class QuotaStatus {
 public:
  static constexpr char kCounting[] = "0";
  static constexpr char kPassed[] = "1";
  static constexpr char kSuspended[] = "2";  // on trial
  static constexpr char kExempt[] = "3";

  explicit QuotaStatus(std::string text) : text_(std::move(text)) {}

  const std::string& text() const { return text_; }
  double number() const;
  bool isPassed() const { return text_ == kPassed; }
  bool isExempt() const { return text_ == kExempt; }
  bool isSuspended() const { return text_ == kSuspended; }
  // Passed, suspended or exempt: neither passes again nor is punished.
  bool isSettled() const { return isPassed() || isSuspended() || isExempt(); }
  // What the trial pass checks: the status read as the number 2.
  bool readsAsSuspended() const { return number() == 2; }

 private:
  std::string text_;
};

}  // namespace quarvel
