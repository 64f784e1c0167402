// Text placed into HTML markup: escaping for element content and attribute values, and
// relative link targets for file names.
#pragma once

#include <string>
#include <string_view>

namespace lorva {

// `text` with "&", "<", ">", '"' and "'" written as character references, so that it shows as
// itself inside element content or a quoted attribute value. Other characters stay as they are.
std::string HtmlEscape(std::string_view text);

// A file name as a relative URL: every byte except ASCII letters, digits and "-._~!$()*+,;=@"
// written as "%XX" (so blanks, "'", "#", "%", "?" and every non-ASCII character are encoded;
// UTF-8 bytes one by one).
std::string UrlEncodeFileName(std::string_view fileName);

}  // namespace lorva
