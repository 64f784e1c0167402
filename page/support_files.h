// The files every archive carries besides its pages: style.css, outline.js (collapsible
// outlines only) and Images/bulletredsmall.gif.
#pragma once

#include <string>

#include "support/file_handling.h"

namespace lorva {

// Writes the style sheet and the bullet image into `strOutputPath` (and the outline script when
// `iCollapse` is 1), creating its Images folder when missing. Failures go to the reporter with
// the label "subExtractFilesFromResource".
void subExtractFilesFromResource(Services& services, const std::string& strOutputPath,
                                 unsigned char iCollapse);

}  // namespace lorva
