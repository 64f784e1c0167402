#include "platform/outlook/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "base/text_rules.h"

namespace lorva::outlook {
namespace {

// `text` without blanks and tabs at either end.
std::string TrimSpaceAndTabs(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Reads the whole text (blanks around allowed) as a number.
bool ParseNumber(const std::string& text, double& out) {
  const std::string trimmed = TrimSpaceAndTabs(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  out = std::strtod(trimmed.c_str(), &end);
  return end == trimmed.c_str() + trimmed.size() && std::isfinite(out);
}

bool LeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1899-12-30 to y-m-d (proleptic Gregorian), as OLE dates count them.
double DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = static_cast<long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days1970 + 25569);
}

void CivilFromDays(long oleDays, int& y, int& m, int& d) {
  long z = oleDays - 25569 + 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// Reads "yyyy-mm-dd" with an optional " hh:mm[:ss]".
bool ParseDate(const std::string& text, OleDate& out) {
  const std::string t = TrimSpaceAndTabs(text);
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int consumed = 0;
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) != 3) return false;
  std::string rest = t.substr(static_cast<size_t>(consumed));
  if (!rest.empty()) {
    int used = 0;
    if (std::sscanf(rest.c_str(), " %2d:%2d%n", &h, &mi, &used) != 2) return false;
    std::string secs = rest.substr(static_cast<size_t>(used));
    if (!secs.empty() && std::sscanf(secs.c_str(), ":%2d", &s) != 1) return false;
  }
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1) return false;
  if (d > kDays[mo - 1] + (mo == 2 && LeapYear(y) ? 1 : 0)) return false;
  if (h > 23 || mi > 59 || s > 59) return false;
  out.days = DaysFromCivil(y, mo, d) + (h * 3600 + mi * 60 + s) / 86400.0;
  return true;
}

std::string FormatNumber(double number) {
  if (number == std::floor(number) && std::fabs(number) < 1e15) {
    return std::to_string(static_cast<long long>(number));
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", number);
  return buffer;
}

std::string FormatDate(OleDate date) {
  const double whole = std::floor(date.days);
  int y = 0, m = 0, d = 0;
  CivilFromDays(static_cast<long>(whole), y, m, d);
  long seconds = std::lround((date.days - whole) * 86400.0);
  char buffer[48];
  if (seconds == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", y, m, d);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02ld:%02ld:%02ld", y, m, d,
                  seconds / 3600, (seconds / 60) % 60, seconds % 60);
  }
  return buffer;
}

}  // namespace

std::string Value::AsText() const {
  switch (kind()) {
    case Kind::kEmpty:
      return "";
    case Kind::kText:
      return std::get<std::string>(storage_);
    case Kind::kInteger:
      return std::to_string(std::get<std::int64_t>(storage_));
    case Kind::kDouble:
      return FormatNumber(std::get<double>(storage_));
    case Kind::kDate:
      return FormatDate(std::get<OleDate>(storage_));
    case Kind::kBoolean:
      return std::get<bool>(storage_) ? "True" : "False";
  }
  return "";
}

bool Value::IsNumeric() const {
  double ignored = 0;
  switch (kind()) {
    case Kind::kInteger:
    case Kind::kDouble:
    case Kind::kBoolean:
    case Kind::kEmpty:  // IsNumeric(Empty) is True
      return true;
    case Kind::kText:
      return ParseNumber(std::get<std::string>(storage_), ignored);
    case Kind::kDate:
      return false;
  }
  return false;
}

double Value::AsNumber() const {
  double number = 0;
  switch (kind()) {
    case Kind::kInteger:
      return static_cast<double>(std::get<std::int64_t>(storage_));
    case Kind::kDouble:
      return std::get<double>(storage_);
    case Kind::kBoolean:
      return std::get<bool>(storage_) ? -1.0 : 0.0;
    case Kind::kDate:
      return std::get<OleDate>(storage_).days;
    case Kind::kText:
      return ParseNumber(std::get<std::string>(storage_), number) ? number : 0.0;
    case Kind::kEmpty:
      return 0.0;
  }
  return 0.0;
}

bool Value::IsDate() const {
  OleDate ignored;
  if (kind() == Kind::kDate) return true;
  return kind() == Kind::kText && ParseDate(std::get<std::string>(storage_), ignored);
}

OleDate Value::AsDate() const {
  OleDate date;
  if (kind() == Kind::kDate) return std::get<OleDate>(storage_);
  if (kind() == Kind::kText && ParseDate(std::get<std::string>(storage_), date)) return date;
  return OleDate{};
}

bool Value::AsBoolean() const {
  switch (kind()) {
    case Kind::kBoolean:
      return std::get<bool>(storage_);
    case Kind::kInteger:
    case Kind::kDouble:
      return AsNumber() != 0.0;
    case Kind::kText: {
      const std::string t = AsciiLower(TrimSpaceAndTabs(std::get<std::string>(storage_)));
      if (t == "true") return true;
      if (t == "false") return false;
      double number = 0;
      if (ParseNumber(t, number)) return number != 0.0;
      break;
    }
    case Kind::kDate:
      return std::get<OleDate>(storage_).days != 0.0;
    case Kind::kEmpty:
      return false;
  }
  throw Error(errnum::kTypeMismatch, "Type mismatch");
}

}  // namespace lorva::outlook
