#include "support/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/error.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    path_ = fs::temp_directory_path() /
            ("lorva-fs-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code code;
    fs::remove_all(path_, code);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ToAsciiWithReferencesTest, KeepsAsciiAndReferencesEverythingElse) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"plain <b>text</b> &amp; more\r\n", "plain <b>text</b> &amp; more\r\n"},
      {"caf\xC3\xA9", "caf&#233;"},                           // accented Latin
      {"\xD0\x9C\xD0\xB8\xD1\x80", "&#1052;&#1080;&#1088;"},  // Cyrillic
      {"\xCE\xB1\xCE\xB2", "&#945;&#946;"},                   // Greek
      {"\xE6\x97\xA5\xE6\x9C\xAC", "&#26085;&#26412;"},       // CJK
      {"\xF0\x9F\x98\x80!", "&#128512;!"},                    // beyond the BMP
      {"\xEF\xBB\xBFx", "&#65279;x"},                         // a byte-order mark is a character
      {"\xE9t\xE9", "&#233;t&#233;"},                         // stray windows-1252 bytes
      {"\x80 \x9F \x81", "&#8364; &#376; &#129;"},            // the 0x80 block
      {"\xC0\xAF", "&#192;&#175;"},                           // overlong form is not UTF-8
      {"\xED\xA0\x80", "&#237;&#160;&#8364;"},                // a surrogate is not UTF-8
      {"\xE6\x97", "&#230;&#8212;"},                          // truncated sequence
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input: " + c.input);
    EXPECT_EQ(ToAsciiWithReferences(c.input), c.expected);
  }
}

TEST(HtmlAsciiEncoderTest, EscapesInsideStyleAndScriptAsTheirLanguagesDo) {
  struct Case {
    std::vector<std::string> pieces;  // handed to one encoder in turn
    std::string expected;
  };
  const Case cases[] = {
      {{"<p>caf\xC3\xA9</p>"}, "<p>caf&#233;</p>"},
      {{"<style>p:before{content:\"\xC3\xA9\"}</style>\xC3\xA9"},
       "<style>p:before{content:\"\\E9 \"}</style>&#233;"},
      {{"<script>var s = '\xC3\xA9\xF0\x9F\x98\x80';</script>\xC3\xA9"},
       "<script>var s = '\\u00E9\\uD83D\\uDE00';</script>&#233;"},
      // Attributes of the start tag are decoded: references there.
      {{"<style title=\"\xC3\xA9\">\xC3\xA9</style>"}, "<style title=\"&#233;\">\\E9 </style>"},
      {{"<SCRIPT type=\"x>y\">\xC3\xA9</SCRIPT >\xC3\xA9"},
       "<SCRIPT type=\"x>y\">\\u00E9</SCRIPT >&#233;"},
      // Not a style or script element.
      {{"<scripts>\xC3\xA9</scripts><stylex>\xC3\xA9"}, "<scripts>&#233;</scripts><stylex>&#233;"},
      {{"<!-- <script> -->\xC3\xA9"}, "<!-- <script> -->&#233;"},
      {{"a < b <\xC3\xA9"}, "a < b <&#233;"},
      // Inside a script, only its own end tag ends it.
      {{"<script>if (a<b) x = \"</style>\xC3\xA9\";</script>"},
       "<script>if (a<b) x = \"</style>\\u00E9\";</script>"},
      // The place in the markup carries from one piece to the next.
      {{"<scr", "ipt>\xC3\xA9</scr", "ipt>\xC3\xA9"}, "<script>\\u00E9</script>&#233;"},
      {{"<style>\xE9</style>"}, "<style>\\E9 </style>"},  // a windows-1252 byte
      // ASCII pieces are followed once a later piece needs it, a long one at once.
      {{"<p>a</p><style>", "p{}", "\xC3\xA9</style>\xC3\xA9"},
       "<p>a</p><style>p{}\\E9 </style>&#233;"},
      {{"<script>" + std::string(70000, ';'), "\xC3\xA9"},
       "<script>" + std::string(70000, ';') + "\\u00E9"},
  };
  for (const Case& c : cases) {
    std::string input;
    for (const std::string& piece : c.pieces) input += "[" + piece + "]";
    SCOPED_TRACE("pieces: " + input);
    HtmlAsciiEncoder encoder;
    std::string out;
    for (const std::string& piece : c.pieces) out += encoder.Encode(piece);
    EXPECT_EQ(out, c.expected);
  }
}

TEST(DecodeTextFileTest, ReadsUtf8OrWindows1252) {
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xEF\xBB\xBF<html>", "<html>"},
      {"caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"\xEF\xBB\xBF\xE9", "\xC3\xAF\xC2\xBB\xC2\xBF\xC3\xA9"},  // not UTF-8 as a whole
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("bytes: " + c.bytes);
    EXPECT_EQ(DecodeTextFile(c.bytes), c.expected);
  }
}

TEST(FileSystemObjectTest, TextStreamWritesAsciiWithReferences) {
  TempFolder folder;
  FileSystemObject fso;
  const std::string path = folder / "page.htm";
  auto stream = fso.CreateTextFile(path, true, false);
  stream->Write("<p>\xD0\x9F\xD1\x80\xD0\xB8");
  stream->Write("v\xC3\xA9t</p>");
  stream->Close();
  EXPECT_EQ(ReadBytes(path), "<p>&#1055;&#1088;&#1080;v&#233;t</p>");
  EXPECT_THROW(stream->Write("x"), Error);
}

TEST(FileSystemObjectTest, CreateTextFileTruncatesOrRefuses) {
  TempFolder folder;
  FileSystemObject fso;
  const std::string path = folder / "a.txt";
  WriteBytes(path, "old contents that are long");
  fso.CreateTextFile(path, true, false)->Write("new");
  EXPECT_EQ(ReadBytes(path), "new");
  try {
    fso.CreateTextFile(path, false, false);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kFileAlreadyExists);
  }
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_THROW(fso.CreateTextFile(folder / "missing/a.txt", true, false), Error);
}

TEST(FileSystemObjectTest, OpenTextFileReadsDecodedText) {
  TempFolder folder;
  FileSystemObject fso;
  const std::string path = folder / "in.htm";
  WriteBytes(path, "Gr\xFC\xDF");
  auto stream = fso.OpenTextFile(path, 1, false, 0);
  EXPECT_FALSE(stream->AtEndOfStream());
  EXPECT_EQ(stream->ReadAll(), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_TRUE(stream->AtEndOfStream());
  stream->Close();
  try {
    fso.OpenTextFile(folder / "none.htm", 1, false, 0);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kFileNotFound);
  }
}

TEST(FileSystemObjectTest, ExistenceTestsTellFilesFromFolders) {
  TempFolder folder;
  FileSystemObject fso;
  WriteBytes(folder / "f", "x");
  EXPECT_TRUE(fso.FileExists(folder / "f"));
  EXPECT_FALSE(fso.FolderExists(folder / "f"));
  fso.CreateFolder(folder / "d");
  EXPECT_TRUE(fso.FolderExists(folder / "d"));
  EXPECT_FALSE(fso.FileExists(folder / "d"));
  EXPECT_FALSE(fso.FileExists(folder / "nothing"));
  EXPECT_THROW(fso.CreateFolder(folder / "d"), Error);
  EXPECT_THROW(fso.CreateFolder(folder / "x/y"), Error);
}

TEST(FileSystemObjectTest, DeleteFileKeepsReadOnlyFileUnlessForced) {
  TempFolder folder;
  FileSystemObject fso;
  const std::string path = folder / "index.htm";
  WriteBytes(path, "x");
  ::chmod(path.c_str(), 0444);
  try {
    fso.DeleteFile(path, false);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kPermissionDenied);
  }
  EXPECT_TRUE(fso.FileExists(path));
  fso.DeleteFile(path, true);
  EXPECT_FALSE(fso.FileExists(path));
  try {
    fso.DeleteFile(path, true);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kFileNotFound);
  }
}

TEST(FileSystemObjectTest, RenameFileReplacesTarget) {
  TempFolder folder;
  FileSystemObject fso;
  WriteBytes(folder / "new", "new");
  WriteBytes(folder / "old", "old");
  ::chmod((folder / "old").c_str(), 0444);
  fso.RenameFile(folder / "new", folder / "old");
  EXPECT_EQ(ReadBytes(folder / "old"), "new");
  EXPECT_FALSE(fso.FileExists(folder / "new"));
}

}  // namespace
}  // namespace lorva
