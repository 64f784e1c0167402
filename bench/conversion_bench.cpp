// Rich-text route with attachments over many articles: LibreOffice started once for the run
// against LibreOffice started for every article.
//
// Usage: conversion_bench [articles = 100] [articles with a start each = 5]
// Each article has a rich-text body with a picture and two attachments, one of them a bitmap.
// The per-article starts are measured over the smaller count (a start costs seconds) and given
// per article, so the two figures compare directly.
#include <QBuffer>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "bench/bench_util.h"
#include "page/office_route.h"
#include "platform/imaging/qt/qt_image_converter.h"
#include "platform/word/libreoffice_word.h"
#include "support/error_reporter.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace lorva;

std::string ImageBytes(int width, int height, const char* format, QRgb colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes.toStdString();
}

class Attachment : public outlook::Attachment {
 public:
  Attachment(std::string name, const std::string& bytes) : name_(std::move(name)), bytes_(bytes) {}
  std::string DisplayName() override { return name_; }
  void SaveAsFile(const std::string& path) override {
    std::ofstream(path, std::ios::binary) << bytes_;
  }

 private:
  std::string name_;
  const std::string& bytes_;
};

class Attachments : public outlook::AttachmentCollection {
 public:
  int Count() override { return static_cast<int>(items.size()); }
  std::shared_ptr<outlook::Attachment> Item(int index) override { return items.at(index - 1); }
  std::vector<std::shared_ptr<outlook::Attachment>> items;
};

class Article : public outlook::OutlookItem {
 public:
  Article(int number, const std::string& png, const std::string& bmp, const std::string& text)
      : number_(number) {
    rtf_ = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard Article " + std::to_string(number) +
           ": the printer jams when duplex printing is on.\\par\\pard "
           "{\\pict\\pngblip\\picw64\\pich48 " +
           QByteArray::fromStdString(png).toHex().toStdString() + "}\\par}";
    attachments_->items.push_back(std::make_shared<Attachment>("screen.bmp", bmp));
    attachments_->items.push_back(std::make_shared<Attachment>("log.txt", text));
  }
  outlook::ItemClass Class() override { return outlook::ItemClass::kPost; }
  std::string MessageClass() override { return "IPM.Post"; }
  std::string Subject() override { return "Article " + std::to_string(number_); }
  std::string HTMLBody() override { return "<p>html</p>"; }
  void SaveAs(const std::string& path, int) override {
    std::ofstream(path, std::ios::binary) << rtf_;
  }
  std::shared_ptr<outlook::UserPropertyCollection> UserProperties() override { return nullptr; }
  std::shared_ptr<outlook::AttachmentCollection> Attachments() override { return attachments_; }

 private:
  int number_;
  std::string rtf_;
  std::shared_ptr<::Attachments> attachments_ = std::make_shared<::Attachments>();
};

// One article the way a run takes it with attachments included; false when not converted.
bool ExportArticle(OfficeRoute& route, Article& article, const std::string& destination,
                   std::int16_t counter) {
  const std::string n = std::to_string(counter);
  const std::string rtf = destination + "/Images/" + n + ".rtf";
  const std::string target = destination + "/" + n + ".htm";
  article.SaveAs(rtf, 1);
  bool converted = route.ConvertRTF2HTML(rtf, target) && fs::exists(target);
  if (converted) {
    const std::string html(ReadWholeFile(target).view());
    converted = route.FilteredWordHTML(html).find("the printer jams") != std::string::npos;
  }
  std::vector<std::string> unreadable;
  route.SaveAttachments(article, destination, counter, unreadable);
  return converted;
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int articles = argc > 1 ? std::atoi(argv[1]) : 100;
  const int separateStarts = argc > 2 ? std::atoi(argv[2]) : 5;
  if (platform::FindProgram("soffice").empty() && !std::getenv("LORVA_SOFFICE")) {
    std::fprintf(stderr, "LibreOffice is not installed\n");
    return 1;
  }

  const std::string png = ImageBytes(64, 48, "PNG", qRgb(200, 40, 40));
  const std::string bmp = ImageBytes(320, 240, "BMP", qRgb(40, 90, 200));
  const std::string text(2000, 'x');
  std::vector<std::unique_ptr<Article>> items;
  for (int i = 0; i < std::max(articles, separateStarts); ++i) {
    items.push_back(std::make_unique<Article>(i + 1, png, bmp, text));
  }

  bench::PrintingDialogs dialogs;
  ErrorReporter reporter(dialogs, {});
  Services services{reporter, std::make_shared<FileSystemObject>()};
  platform::QtImageConverter images;
  const fs::path root = fs::temp_directory_path() / ("lorva-bench-" + std::to_string(::getpid()));

  auto prepare = [&](const std::string& name) {
    const fs::path dir = root / name;
    fs::remove_all(dir);
    fs::create_directories(dir / "Images");
    return dir.string();
  };

  // LibreOffice started once for the whole run.
  int converted = 0;
  double firstArticle = 0;
  const std::string once = prepare("once");
  const auto onceStart = Clock::now();
  {
    platform::LibreOfficeWordFactory factory;
    OfficeRoute route(services, factory, images);
    for (int i = 0; i < articles; ++i) {
      converted += ExportArticle(route, *items[i], once, static_cast<std::int16_t>(1001 + i));
      if (i == 0) firstArticle = Seconds(Clock::now() - onceStart);
    }
    route.QuitWord();
    if (factory.Created() != 1) std::fprintf(stderr, "started %d times\n", factory.Created());
  }
  const double onceTotal = Seconds(Clock::now() - onceStart);

  // LibreOffice started for every article.
  int convertedSeparately = 0;
  const std::string each = prepare("each");
  const auto eachStart = Clock::now();
  for (int i = 0; i < separateStarts; ++i) {
    platform::LibreOfficeWordFactory factory;
    OfficeRoute route(services, factory, images);
    convertedSeparately +=
        ExportArticle(route, *items[i], each, static_cast<std::int16_t>(1001 + i));
    route.QuitWord();
  }
  const double eachTotal = Seconds(Clock::now() - eachStart);
  fs::remove_all(root);

  const double perArticleOnce = onceTotal / articles;
  const double steady = articles > 1 ? (onceTotal - firstArticle) / (articles - 1) : onceTotal;
  const double perArticleEach = eachTotal / separateStarts;
  std::printf("articles: %d (converted %d), started once: %.2f s in all, %.3f s per article\n",
              articles, converted, onceTotal, perArticleOnce);
  std::printf("  of which the first article with the start: %.2f s; later articles: %.3f s each\n",
              firstArticle, steady);
  std::printf("started per article, over %d articles (converted %d): %.3f s per article\n",
              separateStarts, convertedSeparately, perArticleEach);
  std::printf("ratio (per-article starts / one start): %.1f\n", perArticleEach / perArticleOnce);
  return converted == articles && convertedSeparately == separateStarts ? 0 : 1;
}
