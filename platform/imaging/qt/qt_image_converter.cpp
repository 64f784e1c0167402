#include "platform/imaging/qt/qt_image_converter.h"

#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

namespace lorva::platform {

void QtImageConverter::ConvertToJpeg(const std::string& source, const std::string& target,
                                     int quality) {
  QImageReader reader(QString::fromStdString(source));
  reader.setDecideFormatFromContent(true);  // the saved name says nothing reliable
  QImage image = reader.read();
  if (image.isNull()) return;
  // JPEG holds no transparency: colours are kept, alpha dropped.
  if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_RGB888 &&
      image.format() != QImage::Format_Grayscale8) {
    image =
        image.convertToFormat(image.allGray() ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
  }

  QSaveFile file(QString::fromStdString(target));
  if (!file.open(QIODevice::WriteOnly)) return;
  QImageWriter writer(&file, "jpeg");
  writer.setQuality(quality < 0 ? 0 : quality > 100 ? 100 : quality);
  writer.setOptimizedWrite(false);
  writer.setProgressiveScanWrite(false);
  if (!writer.write(image)) {
    file.cancelWriting();
    return;
  }
  file.commit();
}

}  // namespace lorva::platform
