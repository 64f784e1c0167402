// Making texts safe to put into markup: article texts inserted into HTML, and file names used
// as link targets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorva {

// `text` with "&", "<", ">", '"' and "'" written as character references, so that it shows as
// written inside an element or a quoted attribute, and every control character (C0, DEL, C1) as
// a blank. Other characters stay.
std::string HtmlEscape(std::string_view text);

// The file name `name` (UTF-8) as a relative URL that opens that very file: letters, digits and
// "-", "_", ".", "~", "!", "$", "(", ")", "*", "+", ",", ";", "=", "@" stay; every other byte
// (blanks, "'", "#", "%", "&", "?", ":", "/", "\", non-ASCII UTF-8 bytes, ...) becomes "%XX".
std::string UrlEncodeFileName(std::string_view name);

// Where the next content-id reference ("cid:", letter case ignored) of `html` begins at or after
// `from`; std::string_view::npos when there is none. Reads the text in place, without a copy.
std::size_t FindContentIdReference(std::string_view html, std::size_t from = 0);

}  // namespace lorva
