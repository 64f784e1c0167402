// The value of a user property, as the mail application hands it out: empty, text, a whole
// number, a floating-point number, a date or true/false (a subset of an automation variant).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace lorva::outlook {

// A date as an OLE automation date: days since 1899-12-30, the fraction the time of day.
struct OleDate {
  double days = 0.0;
  bool operator==(const OleDate&) const = default;
};

class Value {
 public:
  enum class Kind { kEmpty, kText, kInteger, kDouble, kDate, kBoolean };

  Value() = default;  // empty
  static Value Text(std::string text) { return Value(Storage(std::move(text))); }
  static Value Integer(std::int64_t number) { return Value(Storage(number)); }
  static Value Double(double number) { return Value(Storage(number)); }
  static Value Date(OleDate date) { return Value(Storage(date)); }
  static Value Boolean(bool flag) { return Value(Storage(flag)); }

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool IsEmpty() const { return kind() == Kind::kEmpty; }

  // The value as text, as Visual Basic's CStr gives it: "" for empty, decimal numbers,
  // "True"/"False", dates as yyyy-mm-dd (with " hh:mm:ss" when there is a time of day).
  std::string AsText() const;
  // Whether the value is a number or text that reads as one (IsNumeric).
  bool IsNumeric() const;
  // The value as a number (0 when not numeric).
  double AsNumber() const;
  // Whether the value is a date or text that reads as one (IsDate).
  bool IsDate() const;
  // The value as a date (the zero date when not a date).
  OleDate AsDate() const;
  // The value as true/false: numbers are true when not 0; "True"/"False" texts (any case).
  // Throws Error 13 (type mismatch) for other texts and for empty.
  bool AsBoolean() const;

  bool operator==(const Value&) const = default;

 private:
  using Storage = std::variant<std::monostate, std::string, std::int64_t, double, OleDate, bool>;
  explicit Value(Storage storage) : storage_(std::move(storage)) {}
  Storage storage_;
};

}  // namespace lorva::outlook
