// The word processor that turns an item's rich-text copy into an HTML page, as the body
// conversion drives it: Visible, Documents.Open, the document's SaveAs and Close, Quit.
#pragma once

#include <memory>
#include <string>

namespace lorva::platform {

inline constexpr int kWordFormatFilteredHtml = 10;
inline constexpr int kWordDoNotSaveChanges = 0;

class WordDocument {
 public:
  virtual ~WordDocument() = default;
  // Saves the document at `path` in `format` (10: an HTML page).
  virtual void SaveAs(const std::string& path, int format) = 0;
  virtual void Close(int saveChanges) = 0;
};

class WordApplication {
 public:
  virtual ~WordApplication() = default;
  virtual void SetVisible(bool visible) = 0;
  // Opens the document at `path`; throws when it cannot be read. A word processor may load the
  // content only when the document is saved, and fail there for content it cannot load.
  virtual std::shared_ptr<WordDocument> Open(const std::string& path) = 0;
  // Ends the word processor; the object is unusable afterwards.
  virtual void Quit() = 0;
};

class WordFactory {
 public:
  virtual ~WordFactory() = default;
  // A new word processor; throws lorva::Error 429 when none can be created.
  virtual std::shared_ptr<WordApplication> Create() = 0;
};

}  // namespace lorva::platform
