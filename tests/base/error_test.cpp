#include "base/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace lorva {
namespace {

// What a routine's error trap reports for each kind of exception it catches.
TEST(ErrorFromExceptionTest, KeepsOurErrorsAndNamesTheOthers) {
  struct Case {
    std::string what;
    std::function<void()> raise;
    std::int32_t number;
    std::string description;
  };
  const Case cases[] = {
      {"lorva::Error", [] { throw Error(errnum::kPathNotFound, "Path not found: /x"); },
       errnum::kPathNotFound, "Path not found: /x"},
      {"std::bad_alloc", [] { throw std::bad_alloc(); }, errnum::kOutOfMemory, "Out of memory"},
      {"std::out_of_range", [] { throw std::out_of_range("basic_string::substr"); },
       errnum::kInternalError, "Internal error: basic_string::substr"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.raise();
      FAIL() << "nothing thrown";
    } catch (const std::exception& e) {
      const Error error = ErrorFromException(e);
      EXPECT_EQ(error.number(), c.number);
      EXPECT_EQ(error.description(), c.description);
    }
  }
}

}  // namespace
}  // namespace lorva
