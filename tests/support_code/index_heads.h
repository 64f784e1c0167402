// The heads and the closing of index.htm, as the table of contents writes them byte for byte.
#pragma once

#include <string>

namespace lorva::testing {

inline const std::string kPlainHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />"
    "</head><body><h1>Table of Contents</h1></p>";

inline const std::string kCollapsibleHead =
    "<html><head><title>Table of Contents</title>"
    "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />\r\n"
    "<script language=\"JavaScript\" fptype=\"dynamicoutline\">\r\n"
    "<!--\r\n"
    "function dynOutline() {}\r\n"
    "//-->\r\n"
    "</script>\r\n"
    "\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" src=\"outline.js\">\r\n"
    "</script>\r\n"
    "\r\n"
    "<script language=\"JavaScript1.2\" fptype=\"dynamicoutline\" for=\"document\" "
    "event=\"onreadystatechange()\">\r\n"
    "<!--\r\n"
    "initOutline()\r\n"
    "//-->\r\n"
    "</script></head>\r\n"
    "<body onclick=\"dynOutline()\" language=\"Javascript1.2\"><h1>Table of Contents</h1></p>";

inline const std::string kIndexClosing = "</ul><br></body></html>";

}  // namespace lorva::testing
