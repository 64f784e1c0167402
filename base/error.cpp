#include "base/error.h"

#include <cerrno>
#include <new>
#include <utility>

namespace lorva {

Error::Error(std::int32_t number, std::string description, std::string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {}

Error ErrorFromSystem(const std::error_code& code, const std::string& path) {
  std::int32_t number = errnum::kPathFileAccessError;
  std::string description = "Path/File access error";
  if (code == std::errc::no_such_file_or_directory) {
    number = errnum::kFileNotFound;
    description = "File not found";
  } else if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted ||
             code == std::errc::read_only_file_system) {
    number = errnum::kPermissionDenied;
    description = "Permission denied";
  } else if (code == std::errc::not_a_directory) {
    number = errnum::kPathNotFound;
    description = "Path not found";
  } else if (code == std::errc::file_exists) {
    number = errnum::kFileAlreadyExists;
    description = "File already exists";
  }
  return Error(number, description + ": " + path + " (" + code.message() + ")");
}

Error ErrorFromException(const std::exception& exception) {
  if (const auto* error = dynamic_cast<const Error*>(&exception)) return *error;
  if (dynamic_cast<const std::bad_alloc*>(&exception) != nullptr) {
    return Error(errnum::kOutOfMemory, "Out of memory");
  }
  return Error(errnum::kInternalError, std::string("Internal error: ") + exception.what());
}

}  // namespace lorva
