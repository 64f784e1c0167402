#include "page/sorted_dictionary.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support_code/test_services.h"

namespace lorva {
namespace {

std::shared_ptr<cArticle> Record(const std::string& subject) {
  auto record = std::make_shared<cArticle>();
  record->Subject = subject;
  return record;
}

// Keys match whatever their letter case, accents count; the sorted dictionary orders its keys
// so (digits first, as text), holding the same records.
TEST(ArticleDictionaryTest, KeysMatchAndSortIgnoringLetterCase) {
  testing::TestServices test;
  auto dictionary = fncCreateDic(test.services);
  const std::vector<std::string> added = {
      "gamma", "beta",     "Alpha",    "Zulu",    "été",
      "apple", "Beta two", "10 steps", "2 steps", "Ärger mit Straße"};
  std::vector<std::shared_ptr<cArticle>> records;
  for (const auto& key : added) {
    records.push_back(Record(key));
    dictionary->Add(key, records.back());
  }
  for (const char* key : {"ZULU", "äRGER MIT STRASSE", "ÉTÉ"}) {
    EXPECT_TRUE(dictionary->Exists(key)) << key;
  }
  for (const char* key : {"Zulu ", "ete", "Alph"}) EXPECT_FALSE(dictionary->Exists(key)) << key;
  EXPECT_THROW(dictionary->Add("GAMMA", Record("y")), Error);
  auto sorted = fncSortDictionary(test.services, *dictionary, 1, false);
  ASSERT_NE(sorted, nullptr);
  EXPECT_EQ(sorted->Keys(),
            (std::vector<std::string>{"10 steps", "2 steps", "Alpha", "apple", "Ärger mit Straße",
                                      "beta", "Beta two", "été", "gamma", "Zulu"}));
  EXPECT_EQ(dictionary->Count(), 0) << "the passed dictionary is emptied";
  for (std::size_t i = 0; i < added.size(); ++i) EXPECT_EQ(sorted->Item(added[i]), records[i]);
}

}  // namespace
}  // namespace lorva
