// Writes one article page: the article's own HTML with its title, style-sheet link and article
// header patched in, followed by the attachment list and the back link.
#pragma once

#include <string>

#include "page/article.h"
#include "support/file_handling.h"

namespace lorva {

// The page text for `article` (title, link and header patched into Body; then Attachments,
// "<hr>" and TOClink), with every "&#65535;" removed.
std::string ComposePage(const cArticle& article);

// Writes the page of `article` at `strPath`. An existing file is replaced only when `overwrite`
// is 1; otherwise it is left untouched. The page is written to a temporary file beside it and
// renamed into place, so an earlier good page is never left half-written and a link standing
// there is replaced, not followed. Records the step "Writing file to " & the path. Failures go to
// the reporter with the label "subWriteHTML" (error 5 is passed over).
void subWriteHTML(Services& services, const std::string& strPath, cArticle& article,
                  unsigned char overwrite);

}  // namespace lorva
