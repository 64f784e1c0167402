#include "page/sorted_dictionary.h"

#include <algorithm>
#include <exception>
#include <numeric>
#include <unordered_map>

#include "base/error.h"
#include "base/text_rules.h"

namespace lorva {
struct ArticleDictionary::Index {
  std::unordered_map<std::string, std::size_t> positions;
};

void ArticleDictionary::Add(const std::string& key, std::shared_ptr<cArticle> item) {
  if (!index_) index_ = std::make_shared<Index>();
  std::string folded = CompareMode == 1 ? KeyIgnoringCase(key) : key;
  if (index_->positions.count(folded) != 0) {
    throw Error(errnum::kKeyAlreadyExists,
                "This key is already associated with an element of this collection");
  }
  index_->positions.emplace(folded, entries_.size());
  entries_.push_back(Entry{key, std::move(folded), std::move(item)});
}

bool ArticleDictionary::Exists(const std::string& key) const {
  if (!index_) return false;
  return index_->positions.count(CompareMode == 1 ? KeyIgnoringCase(key) : key) != 0;
}

int ArticleDictionary::Count() const {
  return static_cast<int>(entries_.size());
}

std::vector<std::string> ArticleDictionary::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const Entry& entry : entries_) keys.push_back(entry.key);
  return keys;
}

std::vector<std::shared_ptr<cArticle>> ArticleDictionary::Items() const {
  std::vector<std::shared_ptr<cArticle>> items;
  items.reserve(entries_.size());
  for (const Entry& entry : entries_) items.push_back(entry.item);
  return items;
}

std::shared_ptr<cArticle> ArticleDictionary::Item(const std::string& key) const {
  if (!index_) return nullptr;
  const auto found = index_->positions.find(CompareMode == 1 ? KeyIgnoringCase(key) : key);
  if (found == index_->positions.end()) return nullptr;
  return entries_[found->second].item;
}

void ArticleDictionary::RemoveAll() {
  entries_.clear();
  index_.reset();
}

std::unique_ptr<ArticleDictionary> fncCreateDic(Services& services) {
  services.reporter.subLogStep(
      "Attempting to create a new Scripting.Dictionary object. This component is usually "
      "installed with Internet Explorer 4.0 or later");
  auto dictionary = std::make_unique<ArticleDictionary>();
  dictionary->CompareMode = 1;
  return dictionary;
}

std::unique_ptr<ArticleDictionary> fncSortDictionary(Services& services, ArticleDictionary& objDict,
                                                     int intSort, bool descending) {
  try {
    std::unique_ptr<ArticleDictionary> sorted = fncCreateDic(services);
    sorted->CompareMode = objDict.CompareMode;
    const std::vector<std::string> keys = objDict.Keys();
    const std::vector<std::shared_ptr<cArticle>> items = objDict.Items();
    // Column 2 (the item) sorts by the record's subject, its text.
    std::vector<std::string_view> texts;
    texts.reserve(keys.size());
    for (std::size_t row = 0; row < keys.size(); ++row) {
      texts.push_back(intSort == 2 ? (items[row] ? std::string_view(items[row]->Subject) : "")
                                   : std::string_view(keys[row]));
    }
    const std::vector<std::size_t> order = SortOrder(texts, descending);
    objDict.RemoveAll();
    for (const std::size_t row : order) sorted->Add(keys[row], items[row]);
    return sorted;
  } catch (const std::exception& e) {
    services.reporter.Report(ErrorFromException(e), "fncSortDictionary");
  }
  return nullptr;
}

std::vector<std::size_t> SortOrder(const std::vector<std::string_view>& texts, bool descending) {
  // The keys one after another in one text: the n-th from ends[n - 1] (0 for the first) to
  // ends[n].
  std::string keys;
  std::vector<std::size_t> ends;
  ends.reserve(texts.size());
  for (const std::string_view text : texts) {
    AppendCollationKey(text, keys);
    ends.push_back(keys.size());
  }
  const auto key = [&](std::size_t row) {
    const std::size_t begin = row == 0 ? 0 : ends[row - 1];
    return std::string_view(keys).substr(begin, ends[row] - begin);
  };
  std::vector<std::size_t> order(texts.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return descending ? key(b) < key(a) : key(a) < key(b);
  });
  return order;
}

std::string KeyIgnoringCase(std::string_view key) {
  return FoldCase(key);
}

}  // namespace lorva
