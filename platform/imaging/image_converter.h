// Re-encoding of bitmap attachments as JPEG files.
#pragma once

#include <string>

namespace lorva::platform {

class ImageConverter {
 public:
  virtual ~ImageConverter() = default;
  // Reads the image at `source` and writes it to `target` as a baseline JPEG of `quality`
  // (0 to 100). Reports nothing: when the source is not a readable image or the target cannot be
  // written, no target is left behind.
  virtual void ConvertToJpeg(const std::string& source, const std::string& target, int quality) = 0;
};

}  // namespace lorva::platform
