#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include <string>

namespace lorva::platform {
namespace {

std::string Sz(const std::string& text) {
  return text + std::string(1, '\0');
}

TEST(RegFileTest, CanonicalTextSurvivesParseAndSerialise) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software]\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Tessaly]\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Tessaly\\Outlook Lorva]\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Tessaly\\Outlook Lorva\\Settings]\n"
      "\"DestinationFolder\"=\"C:\\\\KB \\\"web\\\"\"\n"
      "\"Title\"=\"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x9A\"\n"
      "@=\"default\"\n"
      "\"Count\"=dword:0000000a\n"
      "\"Blob\"=hex:01,02,ff\n"
      "\"Empty\"=hex:\n"
      "\"Wide\"=hex(b):00,01,00,00,00,00,00,00\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\\xC3\x9C"
      "ber]\n"
      "\n";
  const RegParseResult parsed = ParseRegFile(text);
  ASSERT_TRUE(parsed.root) << parsed.problem;
  const RegKey* settings = parsed.root->Find({"Software", "Tessaly", "Outlook Lorva", "Settings"});
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->FindValue("DestinationFolder")->data, Sz("C:\\KB \"web\""));
  EXPECT_EQ(settings->FindValue("Title")->data, Sz("Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\x9A"));
  EXPECT_EQ(settings->FindValue("")->data, Sz("default"));
  EXPECT_EQ(settings->FindValue("Count")->type, 4u);
  EXPECT_EQ(settings->FindValue("Count")->data, std::string("\x0a\0\0\0", 4));
  EXPECT_EQ(settings->FindValue("Blob")->type, 3u);
  EXPECT_EQ(settings->FindValue("Blob")->data, "\x01\x02\xff");
  EXPECT_EQ(settings->FindValue("Empty")->data, "");
  EXPECT_EQ(settings->FindValue("Wide")->type, 11u);
  EXPECT_EQ(SerializeRegFile(*parsed.root), text);
}

TEST(RegFileTest, ReadsWhatTheWindowsEditorWrites) {
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; exported by hand\r\n"
      "[HKEY_CURRENT_USER\\Software\\Tessaly]\r\n"
      "\"List\"=hex(7):41,00,42,00,\\\r\n"
      "  00,00\r\n"
      "\"Number\" = dword:A\r\n"
      "[hkey_current_user\\SOFTWARE\\tessaly]\r\n"
      "\"list\"=\"replaced\"\r\n";
  const RegParseResult parsed = ParseRegFile(text);
  ASSERT_TRUE(parsed.root) << parsed.problem;
  const RegKey* key = parsed.root->Find({"software", "TESSALY"});
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(parsed.root->subkeys.size(), 1u);
  ASSERT_EQ(key->values.size(), 2u);
  EXPECT_EQ(key->values[0].name, "List");  // the first spelling stays
  EXPECT_EQ(key->values[0].data, Sz("replaced"));
  EXPECT_EQ(key->values[1].data, std::string("\x0a\0\0\0", 4));
}

TEST(RegFileTest, MalformedTextIsRefusedWithItsLine) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {"", "line 1"},
      {header + "\"a\"=\"b\"\n", "line 3"},
      {header + "[HKEY_CURRENT_USER\\A\n", "line 3"},
      {header + "[HKEY_LOCAL_MACHINE\\A]\n", "line 3"},
      {header + "[HKEY_CURRENT_USER\\A\\\\B]\n", "line 3"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=-\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\" x\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=dword:123456789\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:1,2g\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:00,\\\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\nstray text\n", "line 4"},
      {header + "[HKEY_CURRENT_USER\\A]\n\"caf\xE9\"=\"latin-1\"\n", "not UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const RegParseResult parsed = ParseRegFile(c.text);
    EXPECT_FALSE(parsed.root);
    EXPECT_NE(parsed.problem.find(c.line), std::string::npos) << parsed.problem;
  }
}

}  // namespace
}  // namespace lorva::platform
