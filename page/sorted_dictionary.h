// The article dictionary: an ordered map whose keys match without regard to letter case,
// entries in the order they were added; and its sort by key.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "page/article.h"
#include "support/file_handling.h"

namespace lorva {

class ArticleDictionary {
 public:
  int CompareMode = 1;  // 1: keys match without regard to letter case

  // Adds at the end of the order. Precondition: !Exists(key).
  void Add(const std::string& key, std::shared_ptr<cArticle> item);
  bool Exists(const std::string& key) const;
  int Count() const;
  std::vector<std::string> Keys() const;
  std::vector<std::shared_ptr<cArticle>> Items() const;
  std::shared_ptr<cArticle> Item(const std::string& key) const;  // nothing when absent
  void RemoveAll();

 private:
  struct Entry {
    std::string key;
    std::string folded;  // the key with letter case folded
    std::shared_ptr<cArticle> item;
  };
  std::vector<Entry> entries_;
  // folded key -> position, for Exists in O(1)
  struct Index;
  std::shared_ptr<Index> index_;
};

// A new, empty dictionary (CompareMode 1).
std::unique_ptr<ArticleDictionary> fncCreateDic(Services& services);

// A new dictionary with the entries of `objDict` in ascending order of the key (`intSort` 1) or
// item, letter case ignored, by the text collation; equal keys keep their order. `objDict` is
// emptied. Items come back as the same records.
std::unique_ptr<ArticleDictionary> fncSortDictionary(Services& services, ArticleDictionary& objDict,
                                                     int intSort, bool descending);

// The positions of `texts` in the order fncSortDictionary gives entries whose sort column holds
// them: ascending (or descending) by the text collation, letter case ignored; equal texts keep
// their order.
std::vector<std::size_t> SortOrder(const std::vector<std::string_view>& texts, bool descending);

// The form in which a dictionary of CompareMode 1 matches `key`: two keys match when their forms
// are equal (letter case folded).
std::string KeyIgnoringCase(std::string_view key);

}  // namespace lorva
