#include "base/steps.h"

#include <deque>
#include <mutex>

namespace lorva {
namespace {

struct Record {
  std::mutex mutex;
  std::deque<SkippedFailure> failures;  // oldest first
};

Record& TheRecord() {
  static Record record;
  return record;
}

}  // namespace

std::vector<SkippedFailure> RecentSkippedFailures() {
  Record& record = TheRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  return std::vector<SkippedFailure>(record.failures.begin(), record.failures.end());
}

void ClearSkippedFailures() {
  Record& record = TheRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  record.failures.clear();
}

namespace internal {

void RecordSkipped(const std::exception& failure) noexcept {
  try {
    const Error error = ErrorFromException(failure);
    Record& record = TheRecord();
    std::lock_guard<std::mutex> lock(record.mutex);
    if (record.failures.size() == kSkippedFailuresKept) record.failures.pop_front();
    record.failures.push_back(SkippedFailure{error.number(), error.description()});
  } catch (...) {  // out of memory while recording: the failure goes unrecorded
  }
}

}  // namespace internal
}  // namespace lorva
