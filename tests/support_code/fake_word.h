// A word processor for tests: it records every call of its object model, and a document's SaveAs
// writes a page saying what the document held ("converted from " and the source's bytes).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/word/word.h"

namespace lorva::testing {

struct WordCalls {
  // In order: "Visible false", "Open PATH", "SaveAs PATH FORMAT", "Close N", "Quit".
  std::vector<std::string> calls;
  int created = 0;
  int quits = 0;
  int failCreateWith = 0;  // Create throws this error number when not 0
  bool failOpen = false;
  bool failSave = false;
  std::string watched;            // a file whose bytes each SaveAs notes in `seen`
  std::vector<std::string> seen;  // before writing the page
};

class FakeWordFactory : public platform::WordFactory {
 public:
  explicit FakeWordFactory(WordCalls& calls) : calls_(calls) {}
  std::shared_ptr<platform::WordApplication> Create() override;

 private:
  WordCalls& calls_;
};

}  // namespace lorva::testing
