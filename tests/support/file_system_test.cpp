#include "support/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "support_code/temp_folder.h"

namespace lorva {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

TEST(ToAsciiWithReferencesTest, KeepsAsciiAndReferencesEverythingElse) {
  const struct {
    std::string input, expected;
  } cases[] = {
      {"plain <b>text</b> &amp; more\r\n", "plain <b>text</b> &amp; more\r\n"},
      {"\xD0\x9C\xD0\xB8\xD1\x80", "&#1052;&#1080;&#1088;"},  // Cyrillic
      {"\xF0\x9F\x98\x80!", "&#128512;!"},                    // beyond the BMP
      {"\xE9t\xE9", "&#233;t&#233;"},                         // stray windows-1252 bytes
      {"\x80 \x9F \x81", "&#8364; &#376; &#129;"},            // the 0x80 block
      {"\xED\xA0\x80", "&#237;&#160;&#8364;"},                // a surrogate is not UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(ToAsciiWithReferences(c.input), c.expected) << c.input;
}

TEST(HtmlAsciiEncoderTest, EscapesInsideStyleAndScriptAsTheirLanguagesDo) {
  const struct {
    std::vector<std::string> pieces;  // handed to one encoder in turn
    std::string expected;
  } cases[] = {
      {{"<style>p:before{content:\"\xC3\xA9\"}</style>\xC3\xA9"},
       "<style>p:before{content:\"\\E9 \"}</style>&#233;"},
      {{"<script>var s = '\xC3\xA9\xF0\x9F\x98\x80';</script>\xC3\xA9"},
       "<script>var s = '\\u00E9\\uD83D\\uDE00';</script>&#233;"},
      // Attributes of the start tag are decoded: references there.
      {{"<style title=\"\xC3\xA9\">\xC3\xA9</style>"}, "<style title=\"&#233;\">\\E9 </style>"},
      // Not a style or script element.
      {{"<scripts>\xC3\xA9</scripts><stylex>\xC3\xA9"}, "<scripts>&#233;</scripts><stylex>&#233;"},
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
  for (const auto& c : cases) {
    std::string input;
    for (const std::string& piece : c.pieces) input += "[" + piece + "]";
    HtmlAsciiEncoder encoder;
    std::string out;
    for (const std::string& piece : c.pieces) out += encoder.Encode(piece);
    EXPECT_EQ(out, c.expected) << input;
  }
}

// A replacing stream takes the place of what stood at the path only when closed complete: a
// file (read-only or not) or a link, which is replaced and not followed.
TEST(FileSystemObjectTest, ReplacingStreamTakesThePlaceOnlyWhenClosed) {
  TempFolder folder, outside;
  FileSystemObject fso;
  const std::string victim = outside.Write("victim", "outside");
  const struct {
    const char* what;
    bool link, readOnly, close, handOver;  // handOver: the long piece given with WriteTaking
  } cases[] = {
      {"file", false, false, true, false},
      {"file, piece handed over", false, false, true, true},
      {"read-only file", false, true, true, false},
      {"link", true, false, true, true},
      {"file, stream dropped unclosed", false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder / "page.htm";
    fs::remove(path);
    if (c.link) {
      fs::create_symlink(victim, path);
    } else {
      folder.Write("page.htm", "earlier");
      if (c.readOnly) ::chmod(path.c_str(), 0444);
    }
    // A long ASCII piece goes to the temporary file at once; the encoder still knows it ended
    // inside a style element.
    const std::string longPiece = "<p>" + std::string(5000, '.') + "</p><style>";
    auto stream = fso.CreateReplacingTextFile(path);
    c.handOver ? stream->WriteTaking(std::string(longPiece)) : stream->Write(longPiece);
    stream->Write("\xD0\x9F</style>\xC3\xA9");
    EXPECT_EQ(TempFolder::Read(path), c.link ? "outside" : "earlier");
    if (c.close) stream->Close();
    stream.reset();
    EXPECT_EQ(TempFolder::Read(path), c.close ? longPiece + "\\41F </style>&#233;" : "earlier");
    EXPECT_EQ(TempFolder::Read(victim), "outside");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no temporary file is left";
  }
  try {
    fso.CreateReplacingTextFile(folder / "missing/page.htm");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kPathNotFound);
  }
}

}  // namespace
}  // namespace lorva
