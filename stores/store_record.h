// The records of trial and quota members, uploaded::days left::group in the
// trial store and uploaded::status::group in the quota store. Every field
// keeps the text it was read as, so a record rewritten with one field
// changed gives exactly the bytes it had otherwise; fields past the third,
// which this program never writes, are carried along unread.
#pragma once

#include <string>

namespace quarvel {

// A number field: the text as stored and what it reads as.
class StoredNumber {
 public:
  StoredNumber() = default;
  explicit StoredNumber(std::string text) : text_(std::move(text)) {}
  // A changed amount, written in plain form; a count, as a whole number.
  static StoredNumber plain(double value);
  static StoredNumber whole(long long value);

  const std::string& text() const { return text_; }
  double value() const;          // leading number, 0 when there is none
  long long wholeValue() const;  // value() rounded half to even

 private:
  std::string text_;
};

// A quota member's status, as stored. Statuses are compared as text
// (" 1" is not passed); the listings and the trial pass read them as
// numbers.
class QuotaStatus {
 public:
  static constexpr char kCounting[] = "0";
  static constexpr char kPassed[] = "1";
  static constexpr char kSuspended[] = "2";  // on trial
  static constexpr char kExempt[] = "3";

  QuotaStatus() = default;
  explicit QuotaStatus(std::string text) : text_(std::move(text)) {}

  const std::string& text() const { return text_; }
  double number() const;
  bool isCounting() const { return text_ == kCounting; }
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

struct TrialRecord {
  StoredNumber uploaded;
  StoredNumber days_left;
  std::string group;
  std::string rest;  // "::"-led fields past the third, as read

  // A new member: nothing uploaded yet.
  static TrialRecord newMember(long long days_left, const std::string& group);
  // From a store value: fields 1 to 3 of the value split at "::"; missing
  // fields are empty.
  static TrialRecord parse(const std::string& value);
  // The value: always three fields, then the rest.
  std::string encode() const;
  // `amount_mb` added to the uploaded amount (see creditedAmount).
  TrialRecord credited(double amount_mb) const;
};

struct QuotaRecord {
  StoredNumber uploaded;
  QuotaStatus status;
  std::string group;
  std::string rest;

  // A new member with a whole number of megabytes to start from.
  static QuotaRecord newMember(long long uploaded_mb, const char* status, const std::string& group);
  static QuotaRecord parse(const std::string& value);
  std::string encode() const;
  QuotaRecord credited(double amount_mb) const;
  // The record kept, its status replaced.
  QuotaRecord withStatus(const char* status) const;
};

// A store line taken apart at "=": the text before the first (the key; the
// whole line when it holds no "=") and the text up to the second (the
// value), both untrimmed.
struct StoreLine {
  std::string key;
  std::string value;
  bool has_value = false;
  static StoreLine split(const std::string& line);
};

// The largest amount written to a store: finite, and read back as itself.
inline constexpr double kMaxAmountMB = 1.79769313486231e308;

// a + b, kept within +-kMaxAmountMB.
double saturatingSum(double a, double b);

// An uploaded amount with `amount_mb` added, in plain form; the sum
// saturates at the largest amount a store can hold, so a huge credit never
// wraps round to 0.
StoredNumber creditedAmount(const StoredNumber& uploaded, double amount_mb);

}  // namespace quarvel
