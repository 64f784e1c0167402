// The one way of running a step whose failure is passed over ("a failing step is skipped and
// the next step runs", "errors are ignored statement by statement"), and the record of what was
// passed over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"

namespace lorva {

// A failure that SkipOnFailure or ValueOrNothing passed over, as ErrorFromException gives it.
struct SkippedFailure {
  std::int32_t number = 0;
  std::string description;
};

// How many of the latest failures passed over are kept.
inline constexpr std::size_t kSkippedFailuresKept = 32;

// The latest failures passed over in this process, oldest first: a record for debugging that
// tests and a debugger read. It changes nothing else; in particular the step an error report
// names stays the one the program last recorded.
std::vector<SkippedFailure> RecentSkippedFailures();
// Forgets the failures passed over so far.
void ClearSkippedFailures();

namespace internal {
// Adds the failure `failure` to the record; never throws.
void RecordSkipped(const std::exception& failure) noexcept;
}  // namespace internal

// Runs `step`. Returns true when it finished, false when it threw an error, which is recorded
// (RecentSkippedFailures) and dropped. ProgramEnded is not an error and passes through.
template <typename Step>
bool SkipOnFailure(Step&& step) {
  try {
    step();
    return true;
  } catch (const std::exception& failure) {
    internal::RecordSkipped(failure);
    return false;
  }
}

// As SkipOnFailure, but keeps the step's result; nothing when it failed.
template <typename Step>
auto ValueOrNothing(Step&& step) -> std::optional<decltype(step())> {
  try {
    return step();
  } catch (const std::exception& failure) {
    internal::RecordSkipped(failure);
    return std::nullopt;
  }
}

}  // namespace lorva
