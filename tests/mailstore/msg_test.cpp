// Writing .msg files and reading them back.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/error.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/msg_properties.h"

namespace lorva::mailstore {
namespace {

using outlook::OleDate;
using outlook::Value;

// `size` bytes that differ from position to position and from seed to seed.
std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>((i * i >> 3) + seed);
  return data;
}

// An attachment with the display name, long file name and data.
MsgAttachment Attachment(std::string displayName, std::string longFileName,
                         std::vector<std::uint8_t> data = {}) {
  MsgAttachment a;
  a.displayName = std::move(displayName);
  a.longFileName = std::move(longFileName);
  a.data = std::move(data);
  return a;
}

MsgContent Post() {
  MsgContent c;
  c.messageClass = "IPM.Post";
  return c;
}

MsgContent FullPost() {
  MsgContent c = Post();
  c.subject = "Printer jams on tray 2";
  c.plainBody = "Open tray 2.\r\nRemove the paper.";
  c.htmlBody = "<html><body><p>Open tray 2.</p><img src=\"cid:part1\"></body></html>";
  c.compressedRtf = std::vector<std::uint8_t>{0x2d, 0,   0,   0,   0x2b, 0,    0,    0,
                                              'L',  'Z', 'F', 'u', 0xf1, 0xc5, 0xc7, 0xa7};
  c.userProperties = {{"Problem Category", Value::Text("Printers")},
                      {"Count", Value::Integer(-42)},
                      {"Big", Value::Integer(5000000000LL)},
                      {"Ratio", Value::Double(2.5)},
                      {"Reviewed", Value::Date(OleDate{45658.5})},
                      {"Approved", Value::Boolean(true)},
                      {"Rejected", Value::Boolean(false)}};
  c.attachments = {Attachment("diagram.png", "diagram.png", Bytes(300, 1)),
                   Attachment("Manual", "manual.pdf", Bytes(10000, 2))};
  MsgAttachment& image = c.attachments[0];
  image.shortFileName = "DIAGRAM.PNG";
  image.mimeType = "image/png";
  image.contentId = "part1";
  image.hidden = true;
  return c;
}

void ExpectSame(const MsgContent& e, const MsgContent& a) {
  EXPECT_EQ(std::tie(a.messageClass, a.subject, a.plainBody, a.htmlBody, a.compressedRtf),
            std::tie(e.messageClass, e.subject, e.plainBody, e.htmlBody, e.compressedRtf));
  ASSERT_EQ(a.userProperties.size(), e.userProperties.size());
  for (std::size_t i = 0; i < e.userProperties.size(); ++i) {
    EXPECT_EQ(std::tie(a.userProperties[i].name, a.userProperties[i].value),
              std::tie(e.userProperties[i].name, e.userProperties[i].value));
  }
  auto fields = [](const MsgAttachment& x) {
    return std::tie(x.displayName, x.longFileName, x.shortFileName, x.mimeType, x.contentId,
                    x.hidden, x.method, x.data);
  };
  ASSERT_EQ(a.attachments.size(), e.attachments.size());
  for (std::size_t i = 0; i < e.attachments.size(); ++i) {
    EXPECT_EQ(fields(a.attachments[i]), fields(e.attachments[i])) << "attachment " << i;
  }
}

// What is written comes back: every field, no bodies or attachments at all, text beyond ASCII,
// many attachments in their order.
TEST(MsgRoundTripTest, EveryFieldSurvives) {
  MsgContent nonAscii = Post();
  nonAscii.subject = "Принтер не печатает — Εκτυπωτής 打印机故障 😀";
  nonAscii.plainBody = "Кириллица, Ελληνικά, 中文, emoji 😀";
  nonAscii.htmlBody = "<p>Ελληνικά 中文</p>";
  nonAscii.userProperties = {{"Категория", Value::Text("Принтеры")},
                             {"種類", Value::Text("ハードウェア")}};
  nonAscii.attachments = {Attachment("схема.png", "圖表.png")};
  MsgContent many = Post();
  for (int i = 0; i < 300; ++i) {
    many.attachments.push_back(Attachment("file" + std::to_string(i) + ".txt", "",
                                          Bytes(i * 37 % 5000, static_cast<std::uint8_t>(i))));
  }
  for (const MsgContent& content : {FullPost(), Post(), nonAscii, many}) {
    SCOPED_TRACE(content.subject + " with " + std::to_string(content.attachments.size()));
    ExpectSame(content, ReadMsg(WriteMsg(content)));
  }
}

using Entries = std::vector<std::pair<std::uint32_t, std::uint64_t>>;

// A property stream as other writers lay it out: `header` zero bytes, an entry per fixed-size
// property (tag and value), `trailing` zero bytes.
std::vector<std::uint8_t> PropertyStream(std::size_t header, const Entries& entries,
                                         std::size_t trailing = 0) {
  std::vector<std::uint8_t> props(header, 0);
  for (const auto& [tag, value] : entries) {
    for (int i = 0; i < 4; ++i) props.push_back(static_cast<std::uint8_t>(tag >> (8 * i)));
    for (int i = 0; i < 4; ++i) props.push_back(i == 0 ? 6 : 0);
    for (int i = 0; i < 8; ++i) props.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  props.resize(props.size() + trailing, 0);
  return props;
}

// Adds the stream of the variable-size property `tag` under `parent`, holding `bytes`.
void AddProperty(CfbWriter& w, std::uint32_t parent, std::uint32_t tag, const std::string& bytes) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", tag);
  w.AddStream(parent, name, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

TEST(CodePageTest, MessageCodePageThenLocaleThenWindowsInternetCodePage) {
  struct Case {
    std::optional<std::int32_t> messageCodePage, locale, internetCodePage;
    std::uint32_t expected;
  };
  const std::optional<std::int32_t> none;
  const Case cases[] = {
      {1251, 1041, 932, 1251},        // the message code page first
      {none, 1031, 1251, 1252},       // de-DE: the locale before the internet code page
      {none, 1049, 20127, 1251},      // ru-RU
      {none, 2052, none, 936},        // zh-CN, told by its sub-language
      {none, 0x0C07, none, 1252},     // de-AT: a sub-language by its primary language
      {none, 0x00040411, none, 932},  // ja-JP with a sort order
      {none, 1081, 1251, 1251},       // hi-IN has no ANSI code page: the internet code page
      {none, 1081, 28591, 1252},      // ... unless that is no Windows code page
      {none, none, 874, 874},         // no locale: a Windows internet code page
      {none, none, 65001, 1252},      // ... but not UTF-8
      {none, none, none, 1252},       // nothing said: windows-1252
      {0, 1049, none, 1251},          // a zero message code page says nothing
      {1200, 1049, none, 1251},       // nor does UTF-16, which no 8-bit string is in
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "message code page " << c.messageCodePage.value_or(-1) << ", locale "
                 << c.locale.value_or(-1) << ", internet code page "
                 << c.internetCodePage.value_or(-1));
    EXPECT_EQ(EightBitCodePage(c.messageCodePage, c.locale, c.internetCodePage), c.expected);
  }
}

TEST(MsgReaderTest, EightBitStringsEverywhereFollowTheLocale) {
  // ru-RU, and an internet code page that is no Windows code page.
  const std::string printers = "\xCF\xF0\xE8\xED\xF2\xE5\xF0\xFB";  // "Принтеры" in 1251
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "__properties_version1.0",
              PropertyStream(32, {{0x3FF10003, 1049}, {0x3FDE0003, 20127}, {0x8000001E, 9}}));
  for (const std::uint32_t tag : {0x0037001Eu, 0x1000001Eu, 0x8000001Eu}) {
    AddProperty(w, CfbWriter::kRoot, tag, printers);
  }
  AddProperty(w, CfbWriter::kRoot, 0x001A001E, "IPM.Post");
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  w.AddStream(attach, "__properties_version1.0", PropertyStream(8, {}));
  AddProperty(w, attach, 0x3001001E, printers + ".txt");
  const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
  std::vector<std::uint8_t> strings{8, 0, 0, 0};
  AppendUtf16Le("Kind", strings);
  w.AddStream(map, "__substg1.0_00020102", {});
  w.AddStream(map, "__substg1.0_00030102", {0, 0, 0, 0, 5, 0, 0, 0});
  w.AddStream(map, "__substg1.0_00040102", strings);
  const MsgContent c = ReadMsg(w.Finish());
  EXPECT_EQ(c.subject, "Принтеры");
  EXPECT_EQ(c.plainBody, "Принтеры");
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(c.attachments[0].ShownName(), "Принтеры.txt");
  ASSERT_EQ(c.userProperties.size(), 1u);
  EXPECT_EQ(c.userProperties[0].value, Value::Text("Принтеры"));
}

// A message with one embedded message whose property stream holds `embeddedEntries` and
// `trailing` zero bytes, and whose subject is the 8-bit `subject`; the parent's locale is
// `parentLocale`.
std::vector<std::uint8_t> WithEmbeddedMessage(std::uint32_t parentLocale,
                                              const Entries& embeddedEntries,
                                              const std::string& subject, std::size_t trailing) {
  CfbWriter w;
  w.AddStream(CfbWriter::kRoot, "__properties_version1.0",
              PropertyStream(32, {{0x3FF10003, parentLocale}}));
  AddProperty(w, CfbWriter::kRoot, 0x0037001E, "Parent");
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  w.AddStream(attach, "__properties_version1.0", PropertyStream(8, {{0x37050003, 5}}));
  const auto sub = w.AddStorage(attach, "__substg1.0_3701000D");
  w.AddStream(sub, "__properties_version1.0", PropertyStream(24, embeddedEntries, trailing));
  AddProperty(w, sub, 0x0037001E, subject);
  return w.Finish();
}

TEST(MsgReaderTest, EmbeddedMessageTakesItsParentsCodePageUnlessItNamesOne) {
  const std::string japanese = "\x93\xFA\x96\x7B\x8C\xEA";  // "日本語" in 932
  const std::string russian = "\xCF\xF0\xE8";               // "При" in 1251
  struct Case {
    const char* what;
    Entries entries;
    std::string subject;
    const char* expected;
  };
  const Case cases[] = {
      {"no code page of its own", {}, japanese, "日本語"},
      {"an internet code page only", {{0x3FDE0003, 1251}}, japanese, "日本語"},
      {"its own message code page", {{0x3FFD0003, 1251}}, russian, "При"},
      {"its own locale", {{0x3FF10003, 1049}}, russian, "При"},
      {"a locale without a code page", {{0x3FF10003, 1081}}, japanese, "日本語"},
  };
  // Some writers leave a few bytes after the last whole entry; the entries before them count.
  const MsgContent trailing = ReadMsg(WithEmbeddedMessage(1033, {{0x3FFD0003, 1251}}, russian, 15));
  EXPECT_EQ(ReadMsg(trailing.attachments.at(0).data).subject, "При");
  for (const Case& c : cases) {
    const MsgContent parent = ReadMsg(WithEmbeddedMessage(1041, c.entries, c.subject, 0));
    EXPECT_EQ(ReadMsg(parent.attachments.at(0).data).subject, c.expected) << c.what;
  }
}

}  // namespace
}  // namespace lorva::mailstore
