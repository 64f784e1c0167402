#include "page/page_writer.h"

#include <algorithm>
#include <bit>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define LORVA_AVX2_TAG_SEARCH 1
#endif

#include "base/error.h"
#include "base/html_text.h"
#include "base/text_rules.h"

namespace lorva {
namespace {

const char kStyleSheetLink[] = "<LINK REL=\"STYLESHEET\" HREF=\"style.css\" TYPE=\"text/css\" />";
const char kUnusableReference[] = "&#65535;";
// The character U+FFFF in UTF-8: written out, it would become the reference above.
const char kUnusableCharacter[] = "\xEF\xBF\xBF";

// Removes every occurrence of `what` from `text` in place, searching from the start; text that
// the removals bring together is not searched again.
void EraseAll(std::string& text, std::string_view what) {
  std::size_t found = text.find(what);
  if (found == std::string::npos) return;
  std::size_t kept = found;  // the end of the text kept so far
  for (std::size_t from = found + what.size();; from = found + what.size()) {
    found = text.find(what, from);
    const std::size_t stop = found == std::string::npos ? text.size() : found;
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(from),
              text.begin() + static_cast<std::ptrdiff_t>(stop),
              text.begin() + static_cast<std::ptrdiff_t>(kept));
    kept += stop - from;
    if (found == std::string::npos) break;
  }
  text.resize(kept);
}

void RemoveUnusable(std::string& text) {
  EraseAll(text, kUnusableReference);
  EraseAll(text, kUnusableCharacter);
}

// An article text put into markup: shown as written.
std::string MarkupText(std::string text) {
  RemoveUnusable(text);
  return HtmlEscape(text);
}

#ifdef LORVA_AVX2_TAG_SEARCH
__attribute__((target("avx2"))) inline __m256i At32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline __m256i Is32(__m256i bytes, char c) {
  return _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(c));
}

// The likely tags of ForEachLikelyTag that open in the 32 bytes at `p`, as bits; reads 34 bytes.
__attribute__((target("avx2"))) inline unsigned LikelyTags32(const char* p) {
  const __m256i toLower = _mm256_set1_epi8(0x20);  // for letters; other bytes may match too
  const __m256i second = At32(p + 1);
  const __m256i secondLower = _mm256_or_si256(second, toLower);
  const __m256i thirdLower = _mm256_or_si256(At32(p + 2), toLower);
  const __m256i likely = _mm256_or_si256(
      _mm256_or_si256(_mm256_and_si256(Is32(secondLower, 'b'), Is32(thirdLower, 'o')),
                      _mm256_and_si256(Is32(secondLower, 't'), Is32(thirdLower, 'i'))),
      _mm256_and_si256(Is32(second, '/'), Is32(thirdLower, 't')));
  return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(Is32(At32(p), '<'), likely)));
}

// ForEachLikelyTag thirty-two bytes at a time, as far as whole blocks go; returns where it stopped.
template <typename Visit>
__attribute__((target("avx2"))) std::size_t ForEachLikelyTag32(std::string_view text,
                                                               Visit& visit) {
  std::size_t at = 0;
  for (; at + 34 <= text.size(); at += 32) {
    for (unsigned hits = LikelyTags32(text.data() + at); hits != 0; hits &= hits - 1) {
      visit(at + static_cast<std::size_t>(std::countr_zero(hits)));
    }
  }
  return at;
}
#endif

// Calls `visit`, in order, with the offset of each "<" in `text` that may open one of the tags
// searched for: "<body", "<title" or "</t", letters in either case (and with some other offsets,
// which `visit` passes over). A body has a tag every few dozen bytes, most of them none of these:
// where the processor allows, the text is looked through sixteen or thirty-two bytes at a time
// and only the likely tags are visited.
template <typename Visit>
void ForEachLikelyTag(std::string_view text, Visit&& visit) {
  std::size_t at = 0;
#ifdef LORVA_AVX2_TAG_SEARCH
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) at = ForEachLikelyTag32(text, visit);
#endif
#ifdef __SSE2__
  const auto at16 = [&](std::size_t i) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
  };
  const auto is = [](__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  const __m128i toLower = _mm_set1_epi8(0x20);  // for letters; other bytes may match too
  for (; at + 18 <= text.size(); at += 16) {
    const __m128i first = at16(at), second = at16(at + 1);
    const __m128i secondLower = _mm_or_si128(second, toLower);
    const __m128i thirdLower = _mm_or_si128(at16(at + 2), toLower);
    const __m128i likely =
        _mm_or_si128(_mm_or_si128(_mm_and_si128(is(secondLower, 'b'), is(thirdLower, 'o')),
                                  _mm_and_si128(is(secondLower, 't'), is(thirdLower, 'i'))),
                     _mm_and_si128(is(second, '/'), is(thirdLower, 't')));
    auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(is(first, '<'), likely)));
    for (; hits != 0; hits &= hits - 1) {
      visit(at + static_cast<std::size_t>(std::countr_zero(hits)));
    }
  }
#endif
  for (at = text.find('<', at); at != std::string_view::npos; at = text.find('<', at + 1)) {
    visit(at);
  }
}

// The places in the body that text goes into, found in one pass over its tags: after each empty
// title element's opening tag (whatever the tags' letter case: Word writes "<TITLE></TITLE>",
// LibreOffice "<title></title>"), after each exact "</title>" or "</TITLE>", after each exact
// "<body>" or "<BODY>". Each place follows a ">", and no inserted text holds a "<" that could
// begin a tag searched for, so the places found in the body as given are the places the
// insertions one after another would find.
struct Places {
  enum Kind { kEmptyTitle, kTitleEnd, kUpperTitleEnd, kBody, kUpperBody };
  struct Place {
    std::size_t at;
    Kind kind;
  };
  std::vector<Place> found;  // in the order of the body
  bool any[5] = {};

  explicit Places(std::string_view body) {
    constexpr std::string_view kEmptyTitleElement = "<title></title>";
    constexpr std::size_t kTitleOpening = 7;  // "<title>"
    ForEachLikelyTag(body, [&](std::size_t at) {
      const std::string_view tag = body.substr(at);
      if (tag.size() < 6) return;
      switch (tag[1]) {  // most tags are none of these
        case '/':
          if (tag.starts_with("</title>")) Add(at + 8, kTitleEnd);
          if (tag.starts_with("</TITLE>")) Add(at + 8, kUpperTitleEnd);
          break;
        case 'b':
          if (tag.starts_with("<body>")) Add(at + 6, kBody);
          break;
        case 'B':
          if (tag.starts_with("<BODY>")) Add(at + 6, kUpperBody);
          break;
        case 't':
        case 'T':
          if (StartsWithIgnoringAsciiCase(tag, kEmptyTitleElement)) {
            Add(at + kTitleOpening, kEmptyTitle);
          }
          break;
        default:
          break;
      }
    });
  }
  void Add(std::size_t at, Kind kind) {
    found.push_back({at, kind});
    any[kind] = true;
  }
};

}  // namespace

std::string ComposePage(const cArticle& article) {
  const std::string subject = MarkupText(article.Subject);
  const std::string type = MarkupText(article.ProblemType);
  const std::string category = MarkupText(article.ProblemCategory);
  std::string header;
  header.reserve(128 + subject.size() + article.TOClink.size() + type.size() + category.size());
  header.append("<h1>").append(subject).append("</h1>").append(article.TOClink);
  header.append("<hr><b>Problem Type     : </b>").append(type).append("<br>");
  header.append("<b>Problem Category : </b>").append(category).append("<br><hr><br>");
  const std::string_view link = kStyleSheetLink;
  const std::string_view body = article.Body;

  // Title, style-sheet link after the lower-case title end tag (else the upper-case one, else in
  // front), article header after the lower-case body tag (else the upper-case one, else in front).
  const Places places(body);
  const Places::Kind titleEnd =
      places.any[Places::kTitleEnd] ? Places::kTitleEnd : Places::kUpperTitleEnd;
  const Places::Kind bodyTag = places.any[Places::kBody] ? Places::kBody : Places::kUpperBody;
  const bool linkFirst = !places.any[titleEnd];
  const bool headerFirst = !places.any[bodyTag];
  // The text that goes into a place of the kind; empty for none.
  const auto textFor = [&](Places::Kind kind) -> std::string_view {
    if (kind == Places::kEmptyTitle) return subject;
    if (kind == titleEnd) return link;
    if (kind == bodyTag) return header;
    return {};
  };

  // The page is put together in one buffer: the patched body, then the attachment list, a rule
  // and the back link.
  constexpr std::string_view kRule = "<hr>";
  std::size_t size = body.size() + (headerFirst ? header.size() : 0) +
                     (linkFirst ? link.size() : 0) + article.Attachments.size() + kRule.size() +
                     article.TOClink.size();
  for (const Places::Place& place : places.found) {
    size += textFor(place.kind).size();
  }
  std::string page;
  page.reserve(size);
  if (headerFirst) page += header;
  if (linkFirst) page += link;
  std::size_t copied = 0;
  for (const Places::Place& place : places.found) {
    const std::string_view text = textFor(place.kind);
    if (text.empty()) continue;
    page.append(body, copied, place.at - copied);
    page += text;
    copied = place.at;
  }
  page.append(body, copied, std::string_view::npos);
  page += article.Attachments;
  page += kRule;
  page += article.TOClink;
  RemoveUnusable(page);
  return page;
}

void subWriteHTML(Services& services, const std::string& strPath, cArticle& article,
                  unsigned char overwrite) {
  bool complete = true;
  // Error 5 is passed over: the statement that raised it is skipped and the next one runs. A
  // page that missed a statement this way is not put in place.
  const auto step = [&complete](auto&& statement) {
    try {
      statement();
    } catch (const Error& e) {
      if (e.number() != errnum::kInvalidProcedureCall) throw;
      complete = false;
    }
  };
  try {
    std::string page;
    step([&] { page = ComposePage(article); });
    FileSystemObject& fs = services.Fs();
    if (overwrite != 1 && fs.FileExists(strPath)) return;
    services.reporter.subLogStep("Writing file to " + strPath);
    // Written beside its place and put there once complete, replacing an earlier page (read-only
    // or not, or a link, which is not followed) in one step.
    std::unique_ptr<TextStream> stream;
    step([&] { stream = fs.CreateReplacingTextFile(strPath); });
    if (!stream) return;
    step([&] { stream->WriteTaking(std::move(page)); });
    if (complete) stream->Close();
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "subWriteHTML");
  }
}

}  // namespace lorva
