// Items as .msg files for the tests that run over a mail store.
#pragma once

#include <filesystem>
#include <string>

#include "platform/mailstore/msg_content.h"

namespace lorva::testing {

// A post item with the subject, and the category and type when not empty; its HTML body is a
// page showing the subject.
mailstore::MsgContent PostContent(const std::string& subject, const std::string& category = "",
                                  const std::string& type = "");

// Writes `content` as a .msg file at `path`, making the folders on its way.
void WriteMsgFile(const std::filesystem::path& path, const mailstore::MsgContent& content);

// Makes `folder` a knowledge-base folder: its folder.ini names a home page ending in OLorva.htm.
void MakeKnowledgeBaseFolder(const std::filesystem::path& folder);

}  // namespace lorva::testing
