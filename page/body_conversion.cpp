#include "page/body_conversion.h"

#include <exception>

#include "base/error.h"
#include "base/steps.h"

namespace lorva {
namespace {

constexpr char kCrLf[] = "\r\n";

// The separator paragraphs after which the page's body text starts, tried in this order.
constexpr const char* kSeparators[] = {
    "<p class=MsoNormal>&nbsp;</p>",
    "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0in;margin-bottom:5.0pt;\r\n"
    "margin-left:0in;text-autospace:none'>",
    "<p class=MsoNormal style='margin-top:5.0pt;margin-right:0cm;margin-bottom:5.0pt;\r\n"
    "margin-left:0cm;text-autospace:none'>",
    "<p class=MsoNormal style='text-autospace:none'>",
};

}  // namespace

bool fncConvertRTF2HTML(Services& services, platform::WordFactory& factory,
                        std::shared_ptr<platform::WordApplication>& objWord,
                        const std::string& rtfPath, const std::string& targetPath) {
  // Every step that fails is passed over; the caller looks at the target page.
  if (!objWord) {
    SkipOnFailure([&] { objWord = factory.Create(); });
  }
  if (!objWord) {  // no word processor (error 429 or any other failure to create one)
    SkipOnFailure([&] { services.Fs().DeleteFile(rtfPath, false); });
    return false;
  }
  SkipOnFailure([&] { objWord->SetVisible(false); });

  const bool rtfExists =
      ValueOrNothing([&] { return services.Fs().FileExists(rtfPath); }).value_or(false);
  if (!rtfExists) return false;  // the word processor stays for the next article

  std::shared_ptr<platform::WordDocument> objDoc =
      ValueOrNothing([&] { return objWord->Open(rtfPath); }).value_or(nullptr);
  if (objDoc) {
    SkipOnFailure([&] { objDoc->SaveAs(targetPath, platform::kWordFormatFilteredHtml); });
    SkipOnFailure([&] { objDoc->Close(platform::kWordDoNotSaveChanges); });
  }
  objDoc.reset();
  SkipOnFailure([&] { services.Fs().DeleteFile(rtfPath, false); });
  return true;
}

std::string fncFilteredWordHTML(Services& services, const std::string& strBody) {
  try {
    std::size_t division = strBody.find("<div class=Section1>");
    if (division == std::string::npos) division = strBody.find("<DIV class=Section1>");
    if (division == std::string::npos) return strBody;

    for (const char* separator : kSeparators) {
      const std::size_t found = strBody.find(separator);
      if (found == std::string::npos) continue;
      const std::size_t end = found + std::char_traits<char>::length(separator);
      return strBody.substr(0, division) + kCrLf + strBody.substr(end);
    }
    return strBody;
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "fncFilteredWordHTML");
  }
  return "";
}

}  // namespace lorva
