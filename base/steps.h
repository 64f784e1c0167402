// The one way of running a step whose failure is passed over ("a failing step is skipped and
// the next step runs", "errors are ignored statement by statement").
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "base/error.h"

namespace lorva {

// Runs `step`. Returns true when it finished, false when it threw an error, which is dropped.
// ProgramEnded is not an error and passes through.
template <typename Step>
bool SkipOnFailure(Step&& step) {
  try {
    step();
    return true;
  } catch (const Error&) {
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

// As SkipOnFailure, but keeps the step's result; nothing when it failed.
template <typename Step>
auto ValueOrNothing(Step&& step) -> std::optional<decltype(step())> {
  try {
    return step();
  } catch (const Error&) {
    return std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace lorva
