// The program's one error type, and the error numbers it raises.
//
// A failing operation throws lorva::Error carrying a number, a description and a source, as a
// Visual Basic error does; a routine's error trap is one try/catch that hands these three to the
// error reporter. Ending the program is not an error: it unwinds as ProgramEnded (below), which
// no trap catches.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <system_error>

namespace lorva {

// The error numbers the program raises: Visual Basic's, so that callers and reports read alike.
namespace errnum {
inline constexpr std::int32_t kInvalidProcedureCall = 5;  // bad argument
inline constexpr std::int32_t kOverflow = 6;              // number out of range
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kTypeMismatch = 13;   // text that is not a number, wrong item class
inline constexpr std::int32_t kInternalError = 51;  // "Internal error": a fault of the program
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kBadFileMode = 54;  // reading a stream open for writing, ...
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kObjectNotSet = 91;           // "nothing" used as an object
inline constexpr std::int32_t kItemAccessRefused = 287;     // the mail application refused access
inline constexpr std::int32_t kBadFileFormat = 321;         // a malformed input file
inline constexpr std::int32_t kResourceNotFound = 326;      // an embedded resource is missing
inline constexpr std::int32_t kNoSuchControlElement = 340;  // a control array has no such index
inline constexpr std::int32_t kInvalidPropertyValue = 380;
inline constexpr std::int32_t kInvalidPropertyIndex = 381;
inline constexpr std::int32_t kCannotCreateObject = 429;  // component missing
inline constexpr std::int32_t kNotSupported = 438;        // object has no such member
inline constexpr std::int32_t kKeyAlreadyExists = 457;    // a dictionary key added twice
}  // namespace errnum

class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string description, std::string source = "LorvaArchive");

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const std::string& source() const noexcept { return source_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string description_;
  std::string source_;
};

// The error for a failed system call on `path` (file not found, permission denied, ...).
Error ErrorFromSystem(const std::error_code& code, const std::string& path);

// The program's error for a caught exception, as a routine's error trap reports it: a
// lorva::Error as it is, running out of memory as Error 7 "Out of memory", and any other
// exception as Error 51 "Internal error: " and its text.
Error ErrorFromException(const std::exception& exception);

// Thrown by the end of the program (subEndProgram) to unwind to main or to the window's event
// handler, which then quits. Deliberately not derived from std::exception, so that no error trap
// and no "skip a failing step" region swallows it.
struct ProgramEnded {
  int exitCode = 0;
};

}  // namespace lorva
