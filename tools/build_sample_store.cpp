// Builds the sample mail store from its readable sources.
//
//   build_sample_store SOURCE_DIR OUTPUT_DIR
//
// SOURCE_DIR mirrors the store: a directory holding "article.properties" is an article and
// becomes "<directory name>.msg" in its parent folder; every other directory is a folder, whose
// "folder.ini" is copied. "store.ini" at the top ([Store] CurrentFolder) names the folder the
// store's explorer shows. An article directory holds:
//   article.properties  lines "key = value" (a value may be put in double quotes to keep blanks):
//     subject, class (default IPM.Post), category and type (the user properties "Problem
//     Category" and "Problem Type"; left out when the key is missing), bodies (any of html, rtf,
//     plain; default "html rtf"), and in order any number of
//       attachment = FILE [as NAME]          a file of the article directory
//       generated = bmp WIDTHxHEIGHT NAME    a 24-bit bitmap drawn here
//       generated = pdf NAME                 a one-page PDF naming the article
//       inline = bmp WIDTHxHEIGHT CID NAME   a hidden bitmap that the body shows as "cid:CID"
//   body.html           the HTML body (body.txt, when present, is the plain-text body)
// Binary attachments are generated here, so the sources stay text. OUTPUT_DIR is replaced.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/text_rules.h"
#include "platform/mailstore/compressed_rtf.h"
#include "platform/mailstore/folder_ini.h"
#include "platform/mailstore/msg_content.h"
#include "platform/mailstore/rtf_html.h"
#include "platform/mailstore/store.h"

namespace fs = std::filesystem;
using lorva::mailstore::MsgAttachment;
using lorva::mailstore::MsgContent;
using lorva::outlook::Value;

namespace {

constexpr char kArticleFile[] = "article.properties";

std::string ReadFile(const fs::path& path) {
  return std::string(lorva::ReadWholeFile(path.string()).view());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  if (lorva::WriteWholeFile(path.string(), bytes)) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Splits `text` at blanks into at most `count` words; the last word takes the rest of the text.
std::vector<std::string> Words(const std::string& text, std::size_t count) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (words.size() + 1 < count && in >> word) words.push_back(word);
  std::string rest;
  std::getline(in, rest);
  rest = Trim(rest);
  if (!rest.empty()) words.push_back(rest);
  return words;
}

struct Property {
  std::string key;
  std::string value;
};

std::vector<Property> ReadProperties(const fs::path& path) {
  std::vector<Property> properties;
  std::istringstream lines(ReadFile(path));
  std::string line;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos)
      throw std::runtime_error(path.string() + ": no '=' in " + line);
    std::string value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    properties.push_back({Trim(line.substr(0, equals)), value});
  }
  return properties;
}

// A 24-bit bottom-up bitmap with a colour gradient and a diagonal stripe; rows padded to 4 bytes.
std::vector<std::uint8_t> MakeBitmap(int width, int height) {
  const std::uint32_t rowSize = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t imageSize = rowSize * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> bmp;
  const auto put16 = [&](std::uint32_t v) {
    bmp.push_back(v & 0xFF);
    bmp.push_back((v >> 8) & 0xFF);
  };
  const auto put32 = [&](std::uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  bmp.push_back('B');
  bmp.push_back('M');
  put32(54 + imageSize);
  put32(0);
  put32(54);
  put32(40);
  put32(static_cast<std::uint32_t>(width));
  put32(static_cast<std::uint32_t>(height));
  put16(1);
  put16(24);
  put32(0);
  put32(imageSize);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  for (int y = 0; y < height; ++y) {
    std::uint32_t written = 0;
    for (int x = 0; x < width; ++x) {
      const bool stripe = std::abs(x - y) < 2;
      bmp.push_back(stripe ? 255 : static_cast<std::uint8_t>(255 * x / std::max(1, width - 1)));
      bmp.push_back(stripe ? 255 : static_cast<std::uint8_t>(255 * y / std::max(1, height - 1)));
      bmp.push_back(stripe ? 255 : 0x80);
      written += 3;
    }
    for (; written < rowSize; ++written) bmp.push_back(0);
  }
  return bmp;
}

// A valid one-page PDF showing `title`, with a correct cross-reference table.
std::vector<std::uint8_t> MakePdf(const std::string& title) {
  std::string escaped;
  for (const char c : title) {
    if (c == '(' || c == ')' || c == '\\') escaped += '\\';
    escaped += (static_cast<unsigned char>(c) < 0x80) ? c : '?';
  }
  const std::string content = "BT /F1 14 Tf 72 760 Td (" + escaped + ") Tj ET";
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
      "/Resources << /Font << /F1 5 0 R >> >> >>",
      "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
  };
  std::string pdf = "%PDF-1.4\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (const std::size_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
         " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return std::vector<std::uint8_t>(pdf.begin(), pdf.end());
}

std::string MimeType(const std::string& name) {
  const std::string lower = lorva::AsciiLower(name);
  if (lower.ends_with(".pdf")) return "application/pdf";
  if (lower.ends_with(".txt")) return "text/plain";
  if (lower.ends_with(".bmp")) return "image/bmp";
  return "application/octet-stream";
}

void Size(const std::string& text, int& width, int& height) {
  if (std::sscanf(text.c_str(), "%dx%d", &width, &height) != 2 || width < 1 || height < 1 ||
      width > 1024 || height > 1024) {
    throw std::runtime_error("bad bitmap size " + text);
  }
}

MsgContent ReadArticle(const fs::path& directory) {
  MsgContent content;
  content.messageClass = "IPM.Post";
  std::string bodies = "html rtf";
  for (const Property& property : ReadProperties(directory / kArticleFile)) {
    const std::string& value = property.value;
    if (property.key == "subject") {
      content.subject = value;
    } else if (property.key == "class") {
      content.messageClass = value;
    } else if (property.key == "category") {
      content.userProperties.push_back({"Problem Category", Value::Text(value)});
    } else if (property.key == "type") {
      content.userProperties.push_back({"Problem Type", Value::Text(value)});
    } else if (property.key == "bodies") {
      bodies = value;
    } else if (property.key == "attachment") {
      MsgAttachment attachment;
      const std::size_t as = value.find(" as ");
      const std::string file = as == std::string::npos ? value : value.substr(0, as);
      attachment.longFileName = as == std::string::npos ? file : value.substr(as + 4);
      attachment.displayName = attachment.longFileName;
      const std::string bytes = ReadFile(directory / file);
      attachment.data.assign(bytes.begin(), bytes.end());
      attachment.mimeType = MimeType(attachment.longFileName);
      content.attachments.push_back(std::move(attachment));
    } else if (property.key == "generated" || property.key == "inline") {
      const bool isInline = property.key == "inline";
      const std::size_t wordCount = isInline ? 4 : (value.starts_with("pdf ") ? 2 : 3);
      const std::vector<std::string> words = Words(value, wordCount);
      MsgAttachment attachment;
      if (words.size() == 2 && words[0] == "pdf" && !isInline) {
        attachment.longFileName = words[1];
        attachment.data = MakePdf(content.subject);
      } else if (words.size() == wordCount && words[0] == "bmp") {
        int width = 0;
        int height = 0;
        Size(words[1], width, height);
        attachment.data = MakeBitmap(width, height);
        attachment.longFileName = words.back();
        if (isInline) {
          attachment.contentId = words[2];
          attachment.hidden = true;
        }
      } else {
        throw std::runtime_error(directory.string() + ": cannot read " + property.key + " = " +
                                 value);
      }
      attachment.displayName = attachment.longFileName;
      attachment.mimeType = MimeType(attachment.longFileName);
      content.attachments.push_back(std::move(attachment));
    } else {
      throw std::runtime_error(directory.string() + ": unknown key " + property.key);
    }
  }
  std::string html;
  if (fs::exists(directory / "body.html")) html = ReadFile(directory / "body.html");
  if (bodies.find("html") != std::string::npos) content.htmlBody = html;
  if (bodies.find("rtf") != std::string::npos) {
    content.compressedRtf =
        lorva::mailstore::CompressRtf(lorva::mailstore::EncapsulateHtmlInRtf(html));
  }
  if (fs::exists(directory / "body.txt")) content.plainBody = ReadFile(directory / "body.txt");
  return content;
}

std::vector<fs::path> SortedEntries(const fs::path& directory) {
  std::vector<fs::path> entries;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    entries.push_back(entry.path());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

int BuildFolder(const fs::path& source, const fs::path& output) {
  fs::create_directories(output);
  int articles = 0;
  if (fs::exists(source / "folder.ini"))
    fs::copy_file(source / "folder.ini", output / "folder.ini");
  for (const fs::path& entry : SortedEntries(source)) {
    if (!fs::is_directory(entry)) continue;
    if (fs::exists(entry / kArticleFile)) {
      const std::vector<std::uint8_t> msg = lorva::mailstore::WriteMsg(ReadArticle(entry));
      WriteFile(output / (entry.filename().string() + ".msg"), std::string(msg.begin(), msg.end()));
      ++articles;
    } else {
      articles += BuildFolder(entry, output / entry.filename());
    }
  }
  return articles;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: build_sample_store SOURCE_DIR OUTPUT_DIR\n";
    return 2;
  }
  const fs::path source = argv[1];
  const fs::path output = argv[2];
  try {
    const fs::path building = output.string() + ".building";
    fs::remove_all(building);
    const int articles = BuildFolder(source, building);
    // The explorer opens on the store's current folder.
    if (fs::exists(source / "store.ini")) {
      const std::string current =
          lorva::mailstore::IniValue(ReadFile(source / "store.ini"), "Store", "CurrentFolder");
      lorva::mailstore::MailStore::Open(building)->AddExplorer(current);
    }
    fs::remove_all(output);
    fs::rename(building, output);
    std::cout << "sample store: " << articles << " items in " << output.string() << "\n";
  } catch (const lorva::Error& error) {
    std::cerr << "build_sample_store: " << error.description() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "build_sample_store: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
