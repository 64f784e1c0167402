// Writing .msg files and reading them back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "base/error.h"
#include "platform/mailstore/cfb.h"
#include "platform/mailstore/code_page.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/msg_properties.h"

namespace lorva::mailstore {
namespace {

using outlook::OleDate;
using outlook::Value;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> data(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return data;
}

MsgContent FullPost() {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = "Printer jams on tray 2";
  c.plainBody = "Open tray 2.\r\nRemove the paper.";
  c.htmlBody = "<html><body><p>Open tray 2.</p><img src=\"cid:part1\"></body></html>";
  c.compressedRtf = std::vector<std::uint8_t>{0x2d, 0x00, 0x00, 0x00, 0x2b, 0x00, 0x00, 0x00,
                                              'L',  'Z',  'F',  'u',  0xf1, 0xc5, 0xc7, 0xa7};
  c.userProperties = {
      {"Problem Category", Value::Text("Printers")},
      {"Problem Type", Value::Text("Hardware")},
      {"Count", Value::Integer(-42)},
      {"Big", Value::Integer(5000000000LL)},
      {"Ratio", Value::Double(2.5)},
      {"Reviewed", Value::Date(OleDate{45658.5})},
      {"Approved", Value::Boolean(true)},
      {"Rejected", Value::Boolean(false)},
  };
  MsgAttachment image;
  image.displayName = "diagram.png";
  image.longFileName = "diagram.png";
  image.shortFileName = "DIAGRAM.PNG";
  image.mimeType = "image/png";
  image.contentId = "part1";
  image.hidden = true;
  image.data = Bytes(300, 1);
  MsgAttachment doc;
  doc.displayName = "Manual";
  doc.longFileName = "manual.pdf";
  doc.data = Bytes(10000, 2);
  c.attachments = {image, doc};
  return c;
}

void ExpectSame(const MsgContent& expected, const MsgContent& actual) {
  EXPECT_EQ(actual.messageClass, expected.messageClass);
  EXPECT_EQ(actual.subject, expected.subject);
  EXPECT_EQ(actual.plainBody, expected.plainBody);
  EXPECT_EQ(actual.htmlBody, expected.htmlBody);
  EXPECT_EQ(actual.compressedRtf, expected.compressedRtf);
  ASSERT_EQ(actual.userProperties.size(), expected.userProperties.size());
  for (size_t i = 0; i < expected.userProperties.size(); ++i) {
    SCOPED_TRACE(expected.userProperties[i].name);
    EXPECT_EQ(actual.userProperties[i].name, expected.userProperties[i].name);
    EXPECT_EQ(actual.userProperties[i].value, expected.userProperties[i].value);
  }
  ASSERT_EQ(actual.attachments.size(), expected.attachments.size());
  for (size_t i = 0; i < expected.attachments.size(); ++i) {
    const auto& e = expected.attachments[i];
    const auto& a = actual.attachments[i];
    SCOPED_TRACE(e.displayName);
    EXPECT_EQ(a.displayName, e.displayName);
    EXPECT_EQ(a.longFileName, e.longFileName);
    EXPECT_EQ(a.shortFileName, e.shortFileName);
    EXPECT_EQ(a.mimeType, e.mimeType);
    EXPECT_EQ(a.contentId, e.contentId);
    EXPECT_EQ(a.hidden, e.hidden);
    EXPECT_EQ(a.method, e.method);
    EXPECT_EQ(a.data, e.data);
  }
}

TEST(MsgRoundTripTest, EveryFieldSurvives) {
  const MsgContent post = FullPost();
  ExpectSame(post, ReadMsg(WriteMsg(post)));
}

TEST(MsgRoundTripTest, MinimalItemHasNoBodiesOrAttachments) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  const MsgContent back = ReadMsg(WriteMsg(c));
  EXPECT_EQ(back.messageClass, "IPM.Post");
  EXPECT_EQ(back.subject, "");
  EXPECT_FALSE(back.plainBody.has_value());
  EXPECT_FALSE(back.htmlBody.has_value());
  EXPECT_FALSE(back.compressedRtf.has_value());
  EXPECT_TRUE(back.userProperties.empty());
  EXPECT_TRUE(back.attachments.empty());
}

TEST(MsgRoundTripTest, NonAsciiTextSurvives) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = "Принтер не печатает — Εκτυπωτής 打印机故障 😀";
  c.plainBody = "Кириллица, Ελληνικά, 中文, emoji 😀";
  c.htmlBody = "<p>Ελληνικά 中文</p>";
  c.userProperties = {{"Категория", Value::Text("Принтеры")},
                      {"種類", Value::Text("ハードウェア")}};
  MsgAttachment a;
  a.displayName = "схема.png";
  a.longFileName = "圖表.png";
  a.data = {1, 2, 3};
  c.attachments = {a};
  ExpectSame(c, ReadMsg(WriteMsg(c)));
}

TEST(MsgRoundTripTest, LargeStreamsLeaveTheMiniStream) {
  MsgContent c = FullPost();
  std::string body;
  while (body.size() < 50000) body += "Line of text in a long article body. ";
  c.plainBody = body;
  c.htmlBody = "<p>" + body + "</p>";
  c.attachments[0].data = Bytes(4096, 3);  // exactly the cutoff: a regular stream
  c.attachments[1].data = Bytes(4095, 4);  // just below: the mini stream
  MsgAttachment big;
  big.displayName = "big.bin";
  big.data = Bytes(3 * 1024 * 1024 + 17, 5);
  c.attachments.push_back(big);
  ExpectSame(c, ReadMsg(WriteMsg(c)));
}

TEST(MsgRoundTripTest, ManyAttachmentsKeepTheirOrder) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  for (int i = 0; i < 300; ++i) {
    MsgAttachment a;
    a.displayName = "file" + std::to_string(i) + ".txt";
    a.data = Bytes(static_cast<std::size_t>(i * 37 % 5000), static_cast<std::uint8_t>(i));
    c.attachments.push_back(a);
  }
  ExpectSame(c, ReadMsg(WriteMsg(c)));
}

TEST(MsgRoundTripTest, EmptyUserValuesAreLeftOut) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.userProperties = {
      {"Problem Category", Value()}, {"Problem Type", Value::Text("")}, {"Kept", Value::Text("x")}};
  const MsgContent back = ReadMsg(WriteMsg(c));
  ASSERT_EQ(back.userProperties.size(), 1u);
  EXPECT_EQ(back.userProperties[0].name, "Kept");
}

TEST(MsgWriterTest, WritesTheLayoutOutlookExpects) {
  const auto bytes = WriteMsg(FullPost());
  const CfbReader cfb(bytes);
  const auto root = CfbReader::kRootEntry;
  for (const char* name : {"__properties_version1.0", "__substg1.0_001A001F",
                           "__substg1.0_0037001F", "__substg1.0_1000001F", "__substg1.0_10130102",
                           "__substg1.0_10090102", "__substg1.0_8000001F", "__nameid_version1.0",
                           "__attach_version1.0_#00000000", "__attach_version1.0_#00000001"}) {
    EXPECT_TRUE(cfb.Find(root, name).has_value()) << name;
  }
  // Subject as UTF-16LE without a terminating NUL.
  const auto subject = cfb.ReadStream(*cfb.Find(root, "__substg1.0_0037001F"));
  EXPECT_EQ(Utf16LeToUtf8(subject), "Printer jams on tray 2");
  EXPECT_EQ(subject.size(), 2 * std::string("Printer jams on tray 2").size());

  // The top-level property header: 32 bytes, two attachments, then 16-byte entries that
  // include PR_STORE_SUPPORT_MASK with STORE_UNICODE_OK.
  const auto props = cfb.ReadStream(*cfb.Find(root, "__properties_version1.0"));
  ASSERT_EQ((props.size() - 32) % 16, 0u);
  EXPECT_EQ(props[12], 2);  // next attachment id
  EXPECT_EQ(props[20], 2);  // attachment count
  bool unicodeOk = false;
  for (size_t i = 32; i + 16 <= props.size(); i += 16) {
    const std::uint32_t tag = ReadLe32(props.data() + i);
    const std::uint32_t value = ReadLe32(props.data() + i + 8);
    if (tag == 0x340D0003) unicodeOk = (value & 0x00040000) != 0;
  }
  EXPECT_TRUE(unicodeOk);
}

TEST(MsgWriterTest, NameMapHoldsPublicStringNamesAndHashStreams) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.userProperties = {{"Problem Category", Value::Text("Printers")}};
  const auto bytes = WriteMsg(c);
  const CfbReader cfb(bytes);
  const auto map = cfb.Find(CfbReader::kRootEntry, "__nameid_version1.0");
  ASSERT_TRUE(map.has_value());
  const auto entries = cfb.ReadStream(*cfb.Find(*map, "__substg1.0_00030102"));
  // Offset 0 in the string stream; string-named (1), PS_PUBLIC_STRINGS (2 << 1), index 0.
  EXPECT_EQ(entries, (std::vector<std::uint8_t>{0, 0, 0, 0, 5, 0, 0, 0}));
  const auto strings = cfb.ReadStream(*cfb.Find(*map, "__substg1.0_00040102"));
  ASSERT_GE(strings.size(), 4u + 32u);
  EXPECT_EQ(strings[0], 32);  // "Problem Category" is 16 UTF-16 units
  EXPECT_EQ(strings.size() % 4, 0u);

  std::vector<std::uint8_t> name;
  AppendUtf16Le("Problem Category", name);
  const std::uint32_t crc = Crc32(name);
  char streamName[32];
  std::snprintf(streamName, sizeof streamName, "__substg1.0_%04X0102",
                0x1000 + ((crc ^ 5u) % 0x1F));
  const auto hashEntry = cfb.Find(*map, streamName);
  ASSERT_TRUE(hashEntry.has_value()) << streamName;
  const auto hash = cfb.ReadStream(*hashEntry);
  ASSERT_EQ(hash.size(), 8u);
  EXPECT_EQ(ReadLe32(hash.data()), crc);
}

TEST(MsgPropertiesTest, NameCrcMatchesTheKnownValue) {
  // CRC-32 of "x-mailer" in UTF-16LE, as the format's maintainers give it.
  std::vector<std::uint8_t> name;
  AppendUtf16Le("x-mailer", name);
  EXPECT_EQ(Crc32(name), 0xFF504E89u);
  EXPECT_EQ(0x1000 + ((Crc32(name) ^ 7u) % 0x1F), 0x100Fu);
}

TEST(MsgPropertiesTest, FileTimesBecomeOleDates) {
  // 2025-01-01 12:00 UTC is OLE day 45658.5 and Unix time 1735732800.
  const std::uint64_t ft = msg::OleDaysToFileTime(45658.5);
  EXPECT_EQ(ft, (1735732800ull + 11644473600ull) * 10000000ull);
  EXPECT_EQ(msg::FileTimeToOleDays(ft), 45658.5);
}

// An item built by hand, as other writers lay it out: fixed-size properties in the property
// stream and variable-size ones in their own streams.
class HandItem {
 public:
  HandItem& Fixed(std::uint32_t tag, std::uint64_t value) {
    for (int i = 0; i < 4; ++i) props_.push_back(static_cast<std::uint8_t>(tag >> (8 * i)));
    for (int i = 0; i < 4; ++i) props_.push_back(i == 0 ? 6 : 0);
    for (int i = 0; i < 8; ++i) props_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  HandItem& Stream(std::uint32_t tag, std::vector<std::uint8_t> data) {
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", tag);
    writer_.AddStream(CfbWriter::kRoot, name, std::move(data));
    return *this;
  }
  HandItem& String8(std::uint32_t tag, const std::string& bytes) {
    return Stream(tag, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
  // Bytes after the last whole entry, as some writers leave.
  HandItem& Trailing(std::size_t count) {
    props_.resize(props_.size() + count, 0);
    return *this;
  }
  CfbWriter& writer() { return writer_; }
  std::vector<std::uint8_t> Finish() {
    writer_.AddStream(CfbWriter::kRoot, "__properties_version1.0", props_);
    return writer_.Finish();
  }

 private:
  CfbWriter writer_;
  std::vector<std::uint8_t> props_ = std::vector<std::uint8_t>(32, 0);
};

TEST(MsgReaderTest, EightBitTextFollowsTheMessageCodePage) {
  struct Case {
    std::uint32_t codePageTag;
    std::uint32_t codePage;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {0x3FFD0003, 1251, "\xCF\xF0\xE8\xED\xF2\xE5\xF0", "Принтер"},
      {0x3FFD0003, 1253, "\xC5\xEA\xF4\xF5\xF0\xF9\xF4\xDE\xF2", "Εκτυπωτής"},
      {0x3FDE0003, 932, "\x83\x76\x83\x8A\x83\x93\x83\x5E", "プリンタ"},
      {0x3FDE0003, 936, "\xB4\xF2\xD3\xA1\xBB\xFA", "打印机"},
      {0x3FFD0003, 65001, "caf\xC3\xA9", "café"},
      {0, 0, "caf\xE9 \x80", "café €"},                       // no code page: windows-1252
      {0x3FFD0003, 99999, "caf\xE9", "café"},                 // unknown code page: windows-1252
      {0x3FFD0003, 65001, "bad \xFF end", "bad \uFFFD end"},  // invalid bytes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("code page " + std::to_string(c.codePage) + ", expecting " + c.text);
    HandItem item;
    if (c.codePageTag) item.Fixed(c.codePageTag, c.codePage);
    item.String8(0x001A001E, "IPM.Post").String8(0x0037001E, c.bytes);
    item.String8(0x1000001E, c.bytes + std::string(1, '\0'));  // a NUL some writers add
    const MsgContent content = ReadMsg(item.Finish());
    EXPECT_EQ(content.messageClass, "IPM.Post");
    EXPECT_EQ(content.subject, c.text);
    EXPECT_EQ(content.plainBody, c.text);
  }
}

// A property stream: `header` zero bytes, an entry per tag and value, `trailing` zero bytes.
std::vector<std::uint8_t> PropertyStream(
    std::size_t header, const std::vector<std::pair<std::uint32_t, std::uint64_t>>& entries,
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

std::vector<std::uint8_t> Text8(const std::string& bytes) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

TEST(CodePageTest, MessageCodePageThenLocaleThenWindowsInternetCodePage) {
  struct Case {
    std::optional<std::int32_t> messageCodePage, locale, internetCodePage;
    std::uint32_t expected;
  };
  const std::optional<std::int32_t> none;
  const Case cases[] = {
      {1251, 1041, 932, 1251},        // the message code page first
      {none, 1041, 50220, 932},       // ja-JP
      {none, 1031, 1251, 1252},       // de-DE: the locale before the internet code page
      {none, 1049, 20127, 1251},      // ru-RU
      {none, 1028, none, 950},        // zh-TW
      {none, 2052, none, 936},        // zh-CN
      {none, 0x0C04, none, 950},      // zh-HK
      {none, 1042, none, 949},        // ko-KR
      {none, 0x081A, none, 1250},     // sr-Latn-CS
      {none, 0x0C1A, none, 1251},     // sr-Cyrl-CS
      {none, 0x082C, none, 1251},     // az-Cyrl-AZ
      {none, 0x0C07, none, 1252},     // de-AT: a sub-language by its primary language
      {none, 0x00040411, none, 932},  // ja-JP with a sort order
      {none, 1081, 1251, 1251},       // hi-IN has no ANSI code page: the internet code page
      {none, 1081, 28591, 1252},      // ... unless that is no Windows code page
      {none, none, 874, 874},         // no locale: a Windows internet code page
      {none, none, 65001, 1252},      // ... but not UTF-8
      {none, none, 20127, 1252},      // ... nor ASCII
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
  HandItem item;
  item.Fixed(0x3FF10003, 1049).Fixed(0x3FDE0003, 20127).Fixed(0x8000001E, 9);
  item.String8(0x001A001E, "IPM.Post").String8(0x0037001E, printers);
  item.String8(0x1000001E, printers).String8(0x8000001E, printers);
  CfbWriter& w = item.writer();
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  w.AddStream(attach, "__properties_version1.0", PropertyStream(8, {}));
  w.AddStream(attach, "__substg1.0_3001001E", Text8(printers + ".txt"));
  const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
  std::vector<std::uint8_t> strings{8, 0, 0, 0};
  AppendUtf16Le("Kind", strings);
  w.AddStream(map, "__substg1.0_00020102", {});
  w.AddStream(map, "__substg1.0_00030102", {0, 0, 0, 0, 5, 0, 0, 0});
  w.AddStream(map, "__substg1.0_00040102", strings);
  const MsgContent c = ReadMsg(item.Finish());
  EXPECT_EQ(c.subject, "Принтеры");
  EXPECT_EQ(c.plainBody, "Принтеры");
  ASSERT_EQ(c.attachments.size(), 1u);
  EXPECT_EQ(c.attachments[0].ShownName(), "Принтеры.txt");
  ASSERT_EQ(c.userProperties.size(), 1u);
  EXPECT_EQ(c.userProperties[0].value, Value::Text("Принтеры"));
}

// A message with one embedded message whose property stream holds `embeddedEntries`, and whose
// subject is the 8-bit `subject`; the parent's locale is `parentLocale`.
std::vector<std::uint8_t> WithEmbeddedMessage(
    std::uint32_t parentLocale,
    std::vector<std::pair<std::uint32_t, std::uint64_t>> embeddedEntries,
    const std::string& subject, std::size_t trailing = 0) {
  HandItem item;
  item.Fixed(0x3FF10003, parentLocale).String8(0x0037001E, "Parent");
  CfbWriter& w = item.writer();
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  w.AddStream(attach, "__properties_version1.0", PropertyStream(8, {{0x37050003, 5}}));
  const auto sub = w.AddStorage(attach, "__substg1.0_3701000D");
  w.AddStream(sub, "__properties_version1.0", PropertyStream(24, embeddedEntries, trailing));
  w.AddStream(sub, "__substg1.0_0037001E", Text8(subject));
  return item.Finish();
}

TEST(MsgReaderTest, EmbeddedMessageTakesItsParentsCodePageUnlessItNamesOne) {
  const std::string japanese = "\x93\xFA\x96\x7B\x8C\xEA";  // "日本語" in 932
  const std::string russian = "\xCF\xF0\xE8";               // "При" in 1251
  struct Case {
    const char* what;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> entries;
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
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MsgContent parent = ReadMsg(WithEmbeddedMessage(1041, c.entries, c.subject));
    ASSERT_EQ(parent.attachments.size(), 1u);
    EXPECT_EQ(ReadMsg(parent.attachments[0].data).subject, c.expected);
  }
}

TEST(MsgReaderTest, PropertyStreamsMayEndInAPartialEntry) {
  // Some writers leave a few bytes after the last whole entry; the entries before them count.
  for (const std::size_t trailing : {1u, 4u, 8u, 15u}) {
    SCOPED_TRACE(std::to_string(trailing) + " bytes after the last entry");
    {
      SCOPED_TRACE("message");
      HandItem item;
      item.Fixed(0x3FFD0003, 1251).String8(0x0037001E, "\xCF\xF0\xE8").Trailing(trailing);
      EXPECT_EQ(ReadMsg(item.Finish()).subject, "При");
    }
    {
      SCOPED_TRACE("attachment");
      HandItem item;
      const auto attach =
          item.writer().AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
      item.writer().AddStream(attach, "__properties_version1.0",
                              PropertyStream(8, {{0x7FFE000B, 1}}, trailing));
      const MsgContent c = ReadMsg(item.Finish());
      ASSERT_EQ(c.attachments.size(), 1u);
      EXPECT_TRUE(c.attachments[0].hidden);
    }
    {
      SCOPED_TRACE("embedded message");
      const MsgContent parent =
          ReadMsg(WithEmbeddedMessage(1033, {{0x3FFD0003, 1251}}, "\xCF\xF0\xE8", trailing));
      ASSERT_EQ(parent.attachments.size(), 1u);
      EXPECT_EQ(ReadMsg(parent.attachments[0].data).subject, "При");
    }
  }
}

TEST(MsgReaderTest, HtmlBodyInAnyOfItsForms) {
  {
    SCOPED_TRACE("binary in the internet code page");
    HandItem item;
    item.Fixed(0x3FDE0003, 1251).Fixed(0x3FFD0003, 1252);
    item.String8(0x10130102, "<p>\xCF\xF0\xE8</p>");
    EXPECT_EQ(ReadMsg(item.Finish()).htmlBody, "<p>При</p>");
  }
  {
    SCOPED_TRACE("UTF-16");
    std::vector<std::uint8_t> html;
    AppendUtf16Le("<p>中文</p>", html);
    HandItem item;
    item.Stream(0x1013001F, html);
    EXPECT_EQ(ReadMsg(item.Finish()).htmlBody, "<p>中文</p>");
  }
  {
    SCOPED_TRACE("8-bit text");
    HandItem item;
    item.Fixed(0x3FFD0003, 1253).String8(0x1013001E, "<p>\xC5</p>");
    EXPECT_EQ(ReadMsg(item.Finish()).htmlBody, "<p>Ε</p>");
  }
  {
    SCOPED_TRACE("none");
    HandItem item;
    EXPECT_FALSE(ReadMsg(item.Finish()).htmlBody.has_value());
  }
}

TEST(MsgReaderTest, Utf16SurrogatesAreDecoded) {
  struct Case {
    std::vector<std::uint16_t> units;
    std::string text;
  };
  const Case cases[] = {
      {{'a', 0xD83D, 0xDE00, 'b'}, "a😀b"},
      {{'a', 0xD83D, 'b'}, "a\uFFFDb"},    // high surrogate alone
      {{'a', 0xDE00, 'b'}, "a\uFFFDb"},    // low surrogate alone
      {{'a', 0xD83D}, "a\uFFFD"},          // cut short
      {{0xDE00, 0xD83D}, "\uFFFD\uFFFD"},  // reversed
      {{'x', 0, 0}, "x"},                  // terminating NULs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("expecting " + c.text);
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t u : c.units) {
      bytes.push_back(static_cast<std::uint8_t>(u));
      bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    HandItem item;
    item.Stream(0x0037001F, bytes);
    EXPECT_EQ(ReadMsg(item.Finish()).subject, c.text);
  }
}

TEST(MsgReaderTest, UserPropertiesOfEveryKind) {
  // Named properties as Outlook writes them: entries in the name map, values by type.
  std::vector<std::uint8_t> strings, entries;
  std::vector<std::string> names = {"Text", "Short", "Long",  "Huge",      "Real",
                                    "When", "Flag",  "Eight", "Other set", "Numeric"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::vector<std::uint8_t> name;
    AppendUtf16Le(names[i], name);
    const auto offset = static_cast<std::uint32_t>(strings.size());
    for (int k = 0; k < 4; ++k)
      strings.push_back(static_cast<std::uint8_t>(name.size() >> (8 * k)));
    strings.insert(strings.end(), name.begin(), name.end());
    while (strings.size() % 4) strings.push_back(0);
    std::uint32_t guidIndex = names[i] == "Other set" ? 1 : 2;  // PS_MAPI is not ours
    std::uint32_t kind = names[i] == "Numeric" ? 0 : 1;
    const std::uint32_t first = kind ? offset : 0x8233;
    const std::uint32_t info = (static_cast<std::uint32_t>(i) << 16) | (guidIndex << 1) | kind;
    for (int k = 0; k < 4; ++k) entries.push_back(static_cast<std::uint8_t>(first >> (8 * k)));
    for (int k = 0; k < 4; ++k) entries.push_back(static_cast<std::uint8_t>(info >> (8 * k)));
  }
  HandItem item;
  std::vector<std::uint8_t> text;
  AppendUtf16Le("Printers", text);
  item.Stream(0x8000001F, text);
  item.Fixed(0x80010002, 0xFFFE);          // -2
  item.Fixed(0x80020003, 0xFFFFFFF6);      // -10
  item.Fixed(0x80030014, 0x123456789ull);  // 4886718345
  double real = 2.75;
  std::uint64_t realBits;
  std::memcpy(&realBits, &real, 8);
  item.Fixed(0x80040005, realBits);
  item.Fixed(0x80050040, (1735732800ull + 11644473600ull) * 10000000ull);  // 2025-01-01 12:00
  item.Fixed(0x8006000B, 1);
  item.Fixed(0x80070003, 0);
  item.String8(0x8007001E, "ignored");  // the property stream's type wins
  item.String8(0x8008001E, "other");
  item.Fixed(0x80090003, 5);
  CfbWriter& w = item.writer();
  const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
  w.AddStream(map, "__substg1.0_00020102", {});
  w.AddStream(map, "__substg1.0_00030102", entries);
  w.AddStream(map, "__substg1.0_00040102", strings);
  const MsgContent c = ReadMsg(item.Finish());
  ASSERT_EQ(c.userProperties.size(), 8u);
  const std::vector<std::pair<std::string, Value>> expected = {
      {"Text", Value::Text("Printers")}, {"Short", Value::Integer(-2)},
      {"Long", Value::Integer(-10)},     {"Huge", Value::Integer(4886718345LL)},
      {"Real", Value::Double(2.75)},     {"When", Value::Date(OleDate{45658.5})},
      {"Flag", Value::Boolean(true)},    {"Eight", Value::Integer(0)},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(c.userProperties[i].name, expected[i].first);
    EXPECT_EQ(c.userProperties[i].value, expected[i].second);
  }
}

TEST(MsgRoundTripTest, EmbeddedMessagesKeepTheirNamedProperties) {
  MsgContent deepest;
  deepest.messageClass = "IPM.Note";
  deepest.subject = "Deepest";
  deepest.userProperties = {{"Problem Category", Value::Text("Deep category")}};
  MsgContent inner;
  inner.messageClass = "IPM.Note";
  inner.subject = "Inner message";
  inner.plainBody = "Inner body";
  inner.userProperties = {{"Problem Type", Value::Text("Inner type")},
                          {"Problem Category", Value::Integer(7)}};
  MsgAttachment deep;
  deep.displayName = "Deepest";
  deep.method = 5;
  deep.data = WriteMsg(deepest);
  inner.attachments = {deep};

  MsgContent outer;
  outer.messageClass = "IPM.Post";
  outer.subject = "Outer";
  outer.userProperties = {{"Alpha", Value::Text("a")}, {"Beta", Value::Text("b")}};
  MsgAttachment a;
  a.displayName = "Inner message";
  a.method = 5;
  a.data = WriteMsg(inner);
  MsgAttachment notMsg;
  notMsg.displayName = "Not a message";
  notMsg.method = 5;
  notMsg.data = {1, 2, 3};
  outer.attachments = {a, notMsg};

  const auto bytes = WriteMsg(outer);
  {
    // Stored as an embedded message storage, not as bytes.
    const CfbReader cfb(bytes);
    const auto attach = cfb.Find(CfbReader::kRootEntry, "__attach_version1.0_#00000000");
    ASSERT_TRUE(attach.has_value());
    const auto storage = cfb.Find(*attach, "__substg1.0_3701000D");
    ASSERT_TRUE(storage && cfb.IsStorage(*storage));
    EXPECT_FALSE(cfb.Find(*storage, "__nameid_version1.0").has_value());
    const auto props = cfb.ReadStream(*cfb.Find(*storage, "__properties_version1.0"));
    EXPECT_EQ((props.size() - 24) % 16, 0u);
  }
  const MsgContent back = ReadMsg(bytes);
  ASSERT_EQ(back.attachments.size(), 2u);
  EXPECT_EQ(back.attachments[1].method, 5);
  EXPECT_EQ(back.attachments[1].data, notMsg.data);
  EXPECT_EQ(back.userProperties.size(), 2u);

  const MsgContent innerBack = ReadMsg(back.attachments[0].data);
  EXPECT_EQ(innerBack.subject, "Inner message");
  EXPECT_EQ(innerBack.plainBody, "Inner body");
  ASSERT_EQ(innerBack.userProperties.size(), 2u);
  EXPECT_EQ(innerBack.userProperties[0].name, "Problem Type");
  EXPECT_EQ(innerBack.userProperties[0].value, Value::Text("Inner type"));
  EXPECT_EQ(innerBack.userProperties[1].name, "Problem Category");
  EXPECT_EQ(innerBack.userProperties[1].value, Value::Integer(7));
  ASSERT_EQ(innerBack.attachments.size(), 1u);

  const MsgContent deepestBack = ReadMsg(innerBack.attachments[0].data);
  EXPECT_EQ(deepestBack.subject, "Deepest");
  ASSERT_EQ(deepestBack.userProperties.size(), 1u);
  EXPECT_EQ(deepestBack.userProperties[0].value, Value::Text("Deep category"));

  // Writing what was read gives the same again.
  const MsgContent again = ReadMsg(ReadMsg(WriteMsg(back)).attachments[0].data);
  EXPECT_EQ(again.subject, "Inner message");
  ASSERT_EQ(again.userProperties.size(), 2u);
  EXPECT_EQ(again.userProperties[0].value, Value::Text("Inner type"));
}

TEST(MsgWriterTest, InvalidUtf8BecomesReplacementCharacters) {
  MsgContent c;
  c.messageClass = "IPM.Post";
  c.subject = "bad \xFF\xC3 end";
  EXPECT_EQ(ReadMsg(WriteMsg(c)).subject, "bad \uFFFD\uFFFD end");
}

TEST(MsgAttachmentTest, ShownNameFallsBackToFileNames) {
  MsgAttachment a;
  a.shortFileName = "SHORT.TXT";
  EXPECT_EQ(a.ShownName(), "SHORT.TXT");
  a.longFileName = "long name.txt";
  EXPECT_EQ(a.ShownName(), "long name.txt");
  a.displayName = "Shown";
  EXPECT_EQ(a.ShownName(), "Shown");
}

TEST(MsgReaderTest, EmbeddedMessageBecomesAStandAloneFile) {
  // Build an outer message by hand whose attachment holds an embedded message storage.
  MsgContent inner;
  inner.messageClass = "IPM.Note";
  inner.subject = "Inner message";
  inner.userProperties = {{"Problem Type", Value::Text("Inner type")}};
  const auto innerBytes = WriteMsg(inner);
  const CfbReader innerCfb(innerBytes);

  CfbWriter w;
  std::vector<std::uint8_t> top(32, 0);
  top[12] = 1;
  top[20] = 1;
  w.AddStream(CfbWriter::kRoot, "__properties_version1.0", top);
  std::vector<std::uint8_t> cls;
  AppendUtf16Le("IPM.Note", cls);
  w.AddStream(CfbWriter::kRoot, "__substg1.0_001A001F", cls);
  // The outer file's name map is the inner one's (the inner item's named properties use it).
  const auto map = w.AddStorage(CfbWriter::kRoot, "__nameid_version1.0");
  const auto innerMap = *innerCfb.Find(CfbReader::kRootEntry, "__nameid_version1.0");
  for (auto child : innerCfb.entry(innerMap).children) {
    w.AddStream(map, innerCfb.entry(child).name, innerCfb.ReadStream(child));
  }
  const auto attach = w.AddStorage(CfbWriter::kRoot, "__attach_version1.0_#00000000");
  std::vector<std::uint8_t> attachProps(8, 0);
  const std::uint8_t method[16] = {0x03, 0x00, 0x05, 0x37, 6, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
  attachProps.insert(attachProps.end(), method, method + 16);
  w.AddStream(attach, "__properties_version1.0", attachProps);
  const auto sub = w.AddStorage(attach, "__substg1.0_3701000D");
  for (auto child : innerCfb.entry(CfbReader::kRootEntry).children) {
    const auto& e = innerCfb.entry(child);
    if (innerCfb.IsStorage(child)) continue;  // leave the name map out, as Outlook does
    auto data = innerCfb.ReadStream(child);
    if (e.name == "__properties_version1.0") data.erase(data.begin() + 24, data.begin() + 32);
    w.AddStream(sub, e.name, data);
  }
  const MsgContent outer = ReadMsg(w.Finish());
  ASSERT_EQ(outer.attachments.size(), 1u);
  EXPECT_EQ(outer.attachments[0].method, 5);
  const MsgContent embedded = ReadMsg(outer.attachments[0].data);
  EXPECT_EQ(embedded.subject, "Inner message");
  ASSERT_EQ(embedded.userProperties.size(), 1u);
  EXPECT_EQ(embedded.userProperties[0].name, "Problem Type");
  EXPECT_EQ(embedded.userProperties[0].value, Value::Text("Inner type"));
}

}  // namespace
}  // namespace lorva::mailstore
