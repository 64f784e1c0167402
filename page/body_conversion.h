// The rich-text route of an article's body: the item's rich-text copy turned into an HTML page
// by the word processor, and the cut of that page's top part.
#pragma once

#include <memory>
#include <string>

#include "platform/word/word.h"
#include "support/file_handling.h"

namespace lorva {

// Converts the rich-text file at `rtfPath` into an HTML page at `targetPath` through the word
// processor held in `objWord` (created from `factory` on first use and kept for later articles).
// Returns false when no word processor can be created (the rich-text file is then deleted) or
// the rich-text file does not exist; true when the conversion steps ran.
bool fncConvertRTF2HTML(Services& services, platform::WordFactory& factory,
                        std::shared_ptr<platform::WordApplication>& objWord,
                        const std::string& rtfPath, const std::string& targetPath);

// The converter's page with the top part of its first section cut off; unchanged when the
// marks searched for are absent.
std::string fncFilteredWordHTML(Services& services, const std::string& strBody);

}  // namespace lorva
