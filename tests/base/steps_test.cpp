#include "base/steps.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace lorva {
namespace {

std::vector<std::string> Recorded() {
  std::vector<std::string> texts;
  for (const SkippedFailure& failure : RecentSkippedFailures()) {
    texts.push_back(std::to_string(failure.number) + " " + failure.description);
  }
  return texts;
}

// Ending the program is no failure: it passes through unrecorded.
TEST(SkipOnFailureTest, PassesOverFailuresAndRecordsThemOldestFirst) {
  ClearSkippedFailures();
  EXPECT_TRUE(SkipOnFailure([] {}));
  EXPECT_FALSE(SkipOnFailure([] { throw Error(errnum::kFileNotFound, "File not found: a"); }));
  EXPECT_THROW(SkipOnFailure([] { throw ProgramEnded{3}; }), ProgramEnded);
  EXPECT_FALSE(SkipOnFailure([] { throw std::bad_alloc(); }));
  EXPECT_EQ(ValueOrNothing([]() -> int { throw std::runtime_error("no"); }), std::nullopt);
  EXPECT_EQ(ValueOrNothing([] { return 5; }), 5);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"53 File not found: a", "7 Out of memory",
                                                  "51 Internal error: no"}));
}

}  // namespace
}  // namespace lorva
