// A fresh folder below the system's temporary folder, removed with everything in it when the
// object goes.
#pragma once

#include <filesystem>
#include <string>

namespace lorva::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  // The path of `name` inside the folder.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  // Writes `bytes` to the file `name` inside the folder (making the folders on its way);
  // returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // The bytes of the file at `path` ("" when it cannot be read).
  static std::string Read(const std::string& path);

 private:
  std::filesystem::path path_;
};

}  // namespace lorva::testing
