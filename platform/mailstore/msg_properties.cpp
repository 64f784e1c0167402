#include "platform/mailstore/msg_properties.h"

#include <cmath>

#include "base/text_rules.h"

namespace lorva::mailstore::msg {
namespace {

constexpr double kTicksPerDay = 864000000000.0;
constexpr double kDaysFrom1601To1899 = 109205.0;

}  // namespace

bool ParseHex8(std::string_view text, std::uint32_t& out) {
  if (text.size() != 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    const int digit = HexValue(c);
    if (digit < 0) return false;
    v = v << 4 | static_cast<std::uint32_t>(digit);
  }
  out = v;
  return true;
}

double FileTimeToOleDays(std::uint64_t fileTime) {
  return static_cast<double>(fileTime) / kTicksPerDay - kDaysFrom1601To1899;
}

std::uint64_t OleDaysToFileTime(double days) {
  const double ticks = std::round((days + kDaysFrom1601To1899) * kTicksPerDay);
  if (!(ticks > 0)) return 0;
  if (ticks >= 18446744073709549568.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(ticks);
}

}  // namespace lorva::mailstore::msg
