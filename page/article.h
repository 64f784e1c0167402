// The article record (cArticle): what the runs gather for one article and the page writer turns
// into a page. Every field is text, "" in a new record.
#pragma once

#include <string>

namespace lorva {

struct cArticle {
  std::string ProblemType;
  std::string ProblemCategory;
  std::string Subject;         // trimmed subject; the dictionary key and the link text
  std::string Body;            // the article's HTML text
  std::string Attachments;     // attachment list markup, or ""
  std::string TOClink;         // back link to index.htm, or ""
  std::string strWebPagePath;  // full path of the page file
};

}  // namespace lorva
