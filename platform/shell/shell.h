// Opening addresses and documents with the desktop's handler, and starting programs.
#pragma once

#include <string>
#include <vector>

namespace lorva::platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // Opens a web or mail address, or a document, with the desktop's registered handler
  // (xdg-open). Does not wait. Throws lorva::Error when the handler cannot be started.
  virtual void Open(const std::string& target) = 0;
  // Starts `program` with `arguments` without waiting. Throws lorva::Error when it cannot.
  virtual void Start(const std::string& program, const std::vector<std::string>& arguments) = 0;
};

}  // namespace lorva::platform
