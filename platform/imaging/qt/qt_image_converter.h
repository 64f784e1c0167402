// JPEG re-encoding through Qt's image classes (QtGui): reads every bitmap variant Qt reads
// (1 to 32 bits, RLE, bit fields, top-down rows, V4/V5 headers) and writes baseline JPEG.
// Needs no QGuiApplication. Not for concurrent use on the same target.
#pragma once

#include <string>

#include "platform/imaging/image_converter.h"

namespace lorva::platform {

class QtImageConverter : public ImageConverter {
 public:
  // Writes `target` through a temporary file beside it that is renamed only when the whole
  // image was written: a source Qt cannot read, or a failed write, leaves no target (and an
  // existing target unchanged).
  void ConvertToJpeg(const std::string& source, const std::string& target, int quality) override;
};

}  // namespace lorva::platform
