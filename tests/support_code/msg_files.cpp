#include "support_code/msg_files.h"

#include <fstream>
#include <vector>

namespace lorva::testing {

mailstore::MsgContent PostContent(const std::string& subject, const std::string& category,
                                  const std::string& type) {
  mailstore::MsgContent content;
  content.messageClass = "IPM.Post";
  content.subject = subject;
  content.htmlBody = "<html><body><p>" + subject + "</p></body></html>";
  if (!category.empty()) {
    content.userProperties.push_back({"Problem Category", outlook::Value::Text(category)});
  }
  if (!type.empty()) content.userProperties.push_back({"Problem Type", outlook::Value::Text(type)});
  return content;
}

void WriteMsgFile(const std::filesystem::path& path, const mailstore::MsgContent& content) {
  std::filesystem::create_directories(path.parent_path());
  const std::vector<std::uint8_t> bytes = mailstore::WriteMsg(content);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void MakeKnowledgeBaseFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "folder.ini") << "[Folder]\nWebViewURL=http://intranet/kb/OLorva.htm\n";
}

}  // namespace lorva::testing
